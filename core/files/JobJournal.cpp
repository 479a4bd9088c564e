#include "core/files/JobJournal.h"

#include "core/settings/AtomicFile.h"
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/system/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QString errnoText(const char* what, const QString& path)
{
    return QStringLiteral("%1 %2: %3")
        .arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

bool ensureFolder(QString* error)
{
    const QString folder = Paths::jobsFolder();
    if (!QDir().mkpath(folder) || ::chmod(QFile::encodeName(folder).constData(), 0700) != 0) {
        if (error)
            *error = errnoText("cannot create", folder);
        return false;
    }
    return true;
}

// Sorted by name is sorted by start: the id begins with the UTC start time.
// Whether some process holds an flock on the file, read from the kernel's lock table.
bool flockHeld(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    const QByteArray id = QStringLiteral("%1:%2:%3")
                              .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(st.st_ino)
                              .toLatin1();
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    // "1: FLOCK  ADVISORY  WRITE 4242 00:2b:1234 0 EOF"; a line with "->" is a waiter.
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 5 && fields.at(1) == "FLOCK" && fields.at(5) == id)
            return true;
    }
    return false;
}

QString newId(const QString& kind)
{
    return QStringLiteral("%1-%2-%3")
        .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz")), kind)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

} // namespace

JobJournal::~JobJournal()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString JobJournal::journalPath(const QString& id)
{
    return Paths::jobsFolder() + QLatin1Char('/') + id + kSuffix;
}

QString JobJournal::lockPath(const QString& id)
{
    return Paths::jobsFolder() + QLatin1Char('/') + id + kLockSuffix;
}

int JobJournal::tryLock(const QString& id)
{
    const int fd = ::open(QFile::encodeName(lockPath(id)).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QList<JobRecord> JobJournal::running()
{
    QList<JobRecord> live;
    const QDir folder(Paths::jobsFolder());
    for (const QString& name : folder.entryList({QLatin1Char('*') + kSuffix}, QDir::Files)) {
        if (!flockHeld(lockPath(name.chopped(kSuffix.size()))))
            continue;
        if (std::optional<JobRecord> record = read(folder.filePath(name)))
            live.append(*record);
    }
    return live;
}

QStringList JobJournal::vaultsInUse()
{
    QStringList vaults;
    for (const JobRecord& job : running())
        for (const QString& key : {kVault, kOldVault})
            if (!job.field(key).isEmpty() && !vaults.contains(job.field(key)))
                vaults.append(job.field(key));
    return vaults;
}

std::unique_ptr<JobJournal> JobJournal::begin(const QString& kind, const QString& stage,
                                              const QVariantMap& fields, QString* error)
{
    if (!ensureFolder(error))
        return nullptr;
    std::unique_ptr<JobJournal> journal(new JobJournal);
    journal->m_record.id = newId(kind);
    journal->m_record.path = journalPath(journal->m_record.id);
    journal->m_record.kind = kind;
    journal->m_record.fields = fields;
    // Locked before the file exists: a settle never sees this journal without a live owner.
    journal->m_lockFd = tryLock(journal->m_record.id);
    if (journal->m_lockFd < 0) {
        if (error)
            *error = errnoText("cannot lock", lockPath(journal->m_record.id));
        return nullptr;
    }
    if (!journal->advance(stage, {}, error)) {
        ::unlink(QFile::encodeName(lockPath(journal->m_record.id)).constData());
        return nullptr;
    }
    return journal;
}

bool JobJournal::advance(const QString& stage, const QVariantMap& changes, QString* error)
{
    const JobRecord previous = m_record;
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
        m_record.fields.insert(it.key(), it.value());
    m_record.stage = stage;
    m_record.fields.insert(kKind, m_record.kind);
    m_record.fields.insert(kStage, stage);
    if (write(error))
        return true;
    m_record = previous;
    return false;
}

bool JobJournal::write(QString* error)
{
    QString why;
    if (AtomicFile::write(m_record.path, PropertyList::toXml(m_record.fields), &why, 0600))
        return true;
    qCWarning(lcFiles) << "cannot write the job journal" << m_record.path << why;
    if (error)
        *error = why;
    return false;
}

bool JobJournal::finish(QString* error)
{
    if (::unlink(QFile::encodeName(m_record.path).constData()) != 0 && errno != ENOENT) {
        if (error)
            *error = errnoText("cannot remove", m_record.path);
        qCWarning(lcFiles) << "cannot remove the job journal" << m_record.path;
        return false;
    }
    ::unlink(QFile::encodeName(lockPath(m_record.id)).constData());
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    return true;
}

std::optional<JobRecord> JobJournal::read(const QString& path, QString* why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = file.errorString();
        return std::nullopt;
    }
    const std::optional<QVariant> plist = PropertyList::fromData(file.readAll());
    const QVariantMap map = plist ? plist->toMap() : QVariantMap();
    JobRecord record;
    record.path = path;
    record.id = QFileInfo(path).completeBaseName();
    record.kind = map.value(kKind).toString();
    record.stage = map.value(kStage).toString();
    record.fields = map;
    if (!plist || plist->typeId() != QMetaType::QVariantMap || record.kind.isEmpty() ||
        record.stage.isEmpty()) {
        if (why)
            *why = QStringLiteral("not a job journal (no property list with a kind and a stage)");
        return std::nullopt;
    }
    return record;
}

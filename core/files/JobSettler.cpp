#include "core/files/JobSettler.h"

#include "core/files/SetAside.h"
#include "core/settings/Paths.h"
#include "core/system/Logging.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

namespace {

void removeFile(const QString& path)
{
    ::unlink(QFile::encodeName(path).constData());
}

} // namespace

void JobSettler::registerHandler(const QString& kind, Handler handler)
{
    m_handlers.insert(kind, std::move(handler));
}

SettleOutcome JobSettler::settleOne(const JobRecord& journal, const JobSettleServices& services) const
{
    const auto handler = m_handlers.constFind(journal.kind);
    if (handler == m_handlers.constEnd()) {
        qCWarning(lcFiles) << "no recovery for jobs of kind" << journal.kind << "; kept" << journal.path;
        return SettleOutcome::Keep;
    }
    return (*handler)(journal, services);
}

JobSettler::Report JobSettler::settle(const JobSettleServices& services) const
{
    Report report;
    const QDir folder(Paths::jobsFolder());
    if (!folder.exists())
        return report;
    const QStringList names = folder.entryList({QStringLiteral("*") + JobJournal::kSuffix},
                                               QDir::Files | QDir::NoSymLinks, QDir::Name);
    for (const QString& name : names) {
        const QString id = name.chopped(JobJournal::kSuffix.size());
        const int lock = JobJournal::tryLock(id);
        if (lock < 0) {
            report.live.append(id);
            continue;
        }
        const QString path = JobJournal::journalPath(id);
        if (QFile::exists(path)) {
            QString why;
            const std::optional<JobRecord> journal = JobJournal::read(path, &why);
            const SettleOutcome outcome = journal ? settleOne(*journal, services) : SettleOutcome::Unreadable;
            switch (outcome) {
            case SettleOutcome::Settled:
                qCInfo(lcFiles) << "settled the job" << id;
                removeFile(path);
                report.settled.append(id);
                break;
            case SettleOutcome::Keep:
                qCWarning(lcFiles) << "the job" << id << "could not be settled yet; its journal stays";
                report.kept.append(id);
                break;
            case SettleOutcome::Unreadable: {
                const QString kept = SetAside::moveAside(path, path, kUnreadableSuffix);
                qCWarning(lcFiles) << "the job journal" << path << "is not usable" << why << "; set aside as"
                                   << kept;
                report.setAside.append(id);
                break;
            }
            }
        }
        if (!QFile::exists(path))
            removeFile(JobJournal::lockPath(id));
        ::close(lock);
    }
    removeLeftovers();
    return report;
}

void JobSettler::removeLeftovers()
{
    // A job cut off while it took its lock or replaced its journal leaves a lock file without a
    // journal, or the atomic write's temporary file. Neither holds anything but job state.
    const QDir folder(Paths::jobsFolder());
    const QStringList hidden =
        folder.entryList({QStringLiteral(".*") + JobJournal::kSuffix + QStringLiteral(".*")},
                         QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    const QStringList locks = folder.entryList({QStringLiteral("*") + JobJournal::kLockSuffix}, QDir::Files);
    for (const QString& name : hidden + locks) {
        const QString id = name.startsWith(QLatin1Char('.')) ? name.mid(1).section(JobJournal::kSuffix, 0, 0)
                                                             : name.chopped(JobJournal::kLockSuffix.size());
        if (QFile::exists(JobJournal::journalPath(id)) && !name.startsWith(QLatin1Char('.')))
            continue;
        const int lock = JobJournal::tryLock(id);
        if (lock < 0)
            continue; // its job is running
        if (name.startsWith(QLatin1Char('.')))
            removeFile(folder.filePath(name));
        if (!QFile::exists(JobJournal::journalPath(id)))
            removeFile(JobJournal::lockPath(id));
        ::close(lock);
    }
}

#include "core/files/FileOperation.h"

#include "core/files/TreeCopier.h"
#include "core/system/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

quint64 treeSize(int dirFd)
{
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return 0;
    }
    quint64 total = 0;
    while (struct dirent* e = readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        unsigned char type = e->d_type;
        struct stat st;
        if (type == DT_UNKNOWN || type == DT_REG) {
            if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISREG(st.st_mode))
                total += quint64(st.st_size);
            type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        }
        if (type == DT_DIR) {
            const int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                total += treeSize(child);
        }
    }
    closedir(dir);
    return total;
}

} // namespace

struct FileOperation::Job
{
    TreeCopier::Control control;
    std::thread worker;
    bool encrypting = false;
    quint64 total = 0;
    TreeCopier::Result result; // written by the worker before it posts the end
};

FileOperation::FileOperation(CopyProgressIndicator* progressIndicator, const QString& sourcePath,
                             const QString& destinationFolder, const QString& libPath, SharedString percent,
                             SharedString folderSize, SharedString overStatus,
                             const QString& beforeChangePath, QObject* parent)
    : QObject(parent), m_progressIndicator(progressIndicator), m_sourceFilePath(sourcePath),
      m_destinationFilePath(destinationFolder), m_libFilePath(libPath), m_percent(std::move(percent)),
      m_foldersize(std::move(folderSize)), m_overstatus(std::move(overStatus)),
      m_beforeChangeFilePath(beforeChangePath)
{}

FileOperation::~FileOperation()
{
    stopCopy();
}

void FileOperation::startCopy()
{
    if (m_job)
        return;
    struct stat st;
    const QByteArray src = encoded(m_sourceFilePath);
    const bool readable = !m_sourceFilePath.isEmpty() && stat(src.constData(), &st) == 0;
    m_size = readable ? GetCapacity(m_sourceFilePath) : 0;
    if (!readable || m_destinationFilePath.isEmpty()) {
        // Callers wait for "over" or "error" only: a copy that can't start must say so.
        qCDebug(lcFiles) << "Source path is" << m_sourceFilePath;
        qCDebug(lcFiles) << "Size is Zero";
        m_overstatus.setValue(QStringLiteral("error"));
        return;
    }
    if (m_progressIndicator) {
        m_progressIndicator->setProgressValue(0);
        m_progressIndicator->setProgressMaximum(m_size);
    }
    m_foldersize.setValue(stringFromFileSize(m_size));

    qCDebug(lcFiles).noquote() << "Start copy:" << m_sourceFilePath;
    auto job = std::make_shared<Job>();
    job->encrypting = !m_libFilePath.isNull();
    job->total = m_size;
    m_job = job;
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(500);
    connect(m_progressTimer, &QTimer::timeout, this, &FileOperation::reportProgress);
    m_progressTimer->start();

    QPointer<FileOperation> self(this);
    const QString source = m_sourceFilePath;
    const QString dest = m_destinationFilePath;
    job->worker = std::thread([job, self, source, dest] {
        job->result = TreeCopier::copyInto(source, dest, job->control);
        // Dropped by Qt when the owner is gone; the owner joins this thread before it goes.
        QMetaObject::invokeMethod(
            self.data(),
            [self, job] {
                if (self && self->m_job == job)
                    self->finish();
            },
            Qt::QueuedConnection);
    });
}

void FileOperation::stopCopy()
{
    if (!m_job)
        return;
    m_job->control.cancelled = true;
    if (m_job->worker.joinable())
        m_job->worker.join();
    m_job.reset();
    delete m_progressTimer;
    m_progressTimer = nullptr;
}

void FileOperation::reportProgress()
{
    if (!m_job)
        return;
    qCDebug(lcFiles) << "Enter my Callback func";
    const quint64 done = m_job->control.bytesDone.load();
    if (!m_percent.isNull())
        m_percent.setValue(progressText(done, m_job->total, m_job->encrypting));
    if (m_progressIndicator)
        m_progressIndicator->setProgressValue(done);
}

void FileOperation::finish()
{
    reportProgress();
    std::shared_ptr<Job> job = std::move(m_job);
    job->worker.join();
    delete m_progressTimer;
    m_progressTimer = nullptr;
    qCDebug(lcFiles) << "Copy over" << job->result.error;
    if (!job->result.ok)
        qCWarning(lcFiles).noquote() << "Copy of" << m_sourceFilePath << "failed:" << job->result.error;
    m_overstatus.setValue(job->result.ok ? QStringLiteral("over") : QStringLiteral("error"));
}

QString FileOperation::progressText(quint64 done, quint64 total, bool encrypting)
{
    // Files can grow while they are copied: the text never goes past 100.
    const quint64 value =
        total == 0 ? 100 : std::min<quint64>(100, done / total * 100 + done % total * 100 / total);
    return encrypting ? QString::asprintf("Encrypting %llu%%", static_cast<unsigned long long>(value))
                      : QString::asprintf("Restoring %llu%%", static_cast<unsigned long long>(value));
}

QString FileOperation::stringFromFileSize(quint64 bytes)
{
    float size = float(bytes);
    if (size < 1023)
        return QString::asprintf("%i bytes", int(bytes));
    size = size / 1024.0f;
    if (size < 1023)
        return QString::asprintf("%1.1f KB", double(size));
    size = size / 1024.0f;
    if (size < 1023)
        return QString::asprintf("%1.1f MB", double(size));
    size = size / 1024.0f;
    return QString::asprintf("%1.1f GB", double(size));
}

quint64 FileOperation::GetFileSize(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || stat(encoded(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return quint64(st.st_size);
}

quint64 FileOperation::fastFolderSizeAtFSRef(const QString& folderPath)
{
    if (folderPath.isEmpty())
        return 0;
    const int fd = open(encoded(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? 0 : treeSize(fd);
}

quint64 FileOperation::GetCapacity(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || stat(encoded(path).constData(), &st) != 0)
        return 0;
    return S_ISDIR(st.st_mode) ? fastFolderSizeAtFSRef(path) : GetFileSize(path);
}

QString FileOperation::fastFolderSizeAtFSPath(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || stat(encoded(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QString();
    const quint64 size = fastFolderSizeAtFSRef(path);
    return size == 0 ? QString() : stringFromFileSize(size);
}

bool FileOperation::IsFileASymlnkOrAlias(const QString& path)
{
    // Linux has no alias files: only links count, and so does whatever can't be looked at.
    struct stat st;
    if (path.isEmpty() || lstat(encoded(path).constData(), &st) != 0)
        return true;
    return S_ISLNK(st.st_mode);
}

bool FileOperation::FileOrFolderIsExists(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && lstat(encoded(path).constData(), &st) == 0;
}

bool FileOperation::DeleteSymbolLink(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray p = encoded(path);
    struct stat st;
    if (lstat(p.constData(), &st) != 0) {
        qCDebug(lcFiles) << "Delete sym link:" << strerror(errno);
        return errno == ENOENT;
    }
    // rmdir only removes an empty folder: data behind this call is never lost.
    const int rc = S_ISDIR(st.st_mode) ? rmdir(p.constData()) : unlink(p.constData());
    qCDebug(lcFiles) << "Delete sym link" << (rc == 0 ? "ok" : strerror(errno));
    return rc == 0 || errno == ENOENT;
}

QString FileOperation::IsFileRemote(const QString& path)
{
    if (path.isEmpty())
        return QString();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return QString();
    const QString canonical = info.canonicalFilePath();
    return remoteVolumeUrl(canonical.isEmpty() ? info.absoluteFilePath() : canonical, MountTable::read());
}

QString FileOperation::remoteVolumeUrl(const QString& absolutePath, const QList<MountEntry>& mounts)
{
    const std::optional<MountEntry> mount = MountTable::mountContaining(absolutePath, mounts);
    if (!mount)
        return QString();
    QUrl url;
    if (mount->fsType == QLatin1String("cifs") || mount->fsType == QLatin1String("smb3") ||
        mount->fsType == QLatin1String("smbfs")) {
        // Source "//server/share" (the share may carry a sub-path).
        QString source = mount->source;
        source.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!source.startsWith(QLatin1String("//")))
            return QString();
        const QString rest = source.mid(2);
        const qsizetype slash = rest.indexOf(QLatin1Char('/'));
        if (slash <= 0 || slash + 1 >= rest.size())
            return QString();
        url.setScheme(QStringLiteral("smb"));
        url.setHost(rest.left(slash));
        url.setPath(QLatin1Char('/') + rest.mid(slash + 1));
    } else if (mount->fsType.startsWith(QLatin1String("fuse.gvfs"))) {
        // gvfs shows each network mount as one folder below its FUSE mount point, named
        // "smb-share:server=host,share=name[,user=u]" or "afp-volume:host=h,volume=v[,user=u]".
        const QString below = absolutePath.mid(mount->mountPoint.size() + 1);
        const QString folder = below.section(QLatin1Char('/'), 0, 0);
        const QString kind = folder.section(QLatin1Char(':'), 0, 0);
        QMap<QString, QString> keys;
        for (const QString& pair : folder.section(QLatin1Char(':'), 1).split(QLatin1Char(','))) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            if (eq > 0)
                keys.insert(pair.left(eq), QUrl::fromPercentEncoding(pair.mid(eq + 1).toUtf8()));
        }
        QString host, share;
        if (kind == QLatin1String("smb-share")) {
            url.setScheme(QStringLiteral("smb"));
            host = keys.value(QStringLiteral("server"));
            share = keys.value(QStringLiteral("share"));
        } else if (kind == QLatin1String("afp-volume")) {
            url.setScheme(QStringLiteral("afp"));
            host = keys.value(QStringLiteral("host"));
            share = keys.value(QStringLiteral("volume"));
        }
        if (host.isEmpty() || share.isEmpty())
            return QString();
        url.setHost(host);
        url.setPath(QLatin1Char('/') + share);
        if (keys.contains(QStringLiteral("user")))
            url.setUserName(keys.value(QStringLiteral("user")));
    } else {
        return QString();
    }
    return url.isValid() ? url.toString(QUrl::FullyEncoded) : QString();
}

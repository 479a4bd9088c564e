#include "core/vault/ImageWorkFolder.h"

#include "core/system/Logging.h"
#include "core/vault/DiskImageMetadata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kCreatingInfix = QStringLiteral(".creating-");

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool sameFile(int fd, const QString& path)
{
    struct stat held;
    struct stat named;
    return ::fstat(fd, &held) == 0 && ::lstat(encoded(path).constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// What a creation puts in its folder: the encrypted folder with the engine's files, the image
// description and the temporary file of its atomic write. The names are listed, not matched
// loosely, so a folder holding anything else is never emptied.
bool isCreationFile(const QString& relative)
{
    const QString cipher = DiskImageMetadata::cipherFolderName() + QLatin1Char('/');
    const QString description = DiskImageMetadata::fileName();
    if (relative.startsWith(cipher))
        return !relative.mid(cipher.size()).contains(QLatin1Char('/')) &&
               relative.mid(cipher.size()).startsWith(QStringLiteral("gocryptfs."));
    return relative == description || relative.startsWith(QLatin1Char('.') + description + QLatin1Char('.'));
}

// Removes the files of an unfinished creation and its folders; leaves everything in place when
// the folder holds anything else.
bool removeCreationContent(const QString& work)
{
    QStringList files;
    const QString cipher = work + QLatin1Char('/') + DiskImageMetadata::cipherFolderName();
    const QDir::Filters all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo& entry : QDir(work).entryInfoList(all)) {
        if (entry.fileName() == DiskImageMetadata::cipherFolderName() && entry.isDir() &&
            !entry.isSymLink()) {
            for (const QFileInfo& inner : QDir(cipher).entryInfoList(all)) {
                const QString relative =
                    DiskImageMetadata::cipherFolderName() + QLatin1Char('/') + inner.fileName();
                if (!inner.isFile() || inner.isSymLink() || !isCreationFile(relative))
                    return false;
                files.append(inner.absoluteFilePath());
            }
            continue;
        }
        if (!entry.isFile() || entry.isSymLink() || !isCreationFile(entry.fileName()))
            return false;
        files.append(entry.absoluteFilePath());
    }
    for (const QString& file : std::as_const(files)) {
        if (::unlink(encoded(file).constData()) != 0 && errno != ENOENT)
            return false;
    }
    if (::rmdir(encoded(cipher).constData()) != 0 && errno != ENOENT)
        return false;
    return ::rmdir(encoded(work).constData()) == 0;
}

} // namespace

ImageWorkFolder::~ImageWorkFolder()
{
    if (m_lockFd >= 0) {
        // Removed while still held: a sweep that opens the name afterwards finds no folder.
        ::unlink(encoded(m_lockPath).constData());
        ::close(m_lockFd);
    }
}

std::unique_ptr<ImageWorkFolder> ImageWorkFolder::make(const QString& imagePath, QString* error)
{
    const QFileInfo image(QDir::cleanPath(imagePath));
    const QString pattern = image.absolutePath() + QStringLiteral("/.") + image.fileName() + kCreatingInfix +
                            QStringLiteral("XXXXXX");
    // A sweep in another process may take a folder between its making and its locking; the
    // loser of that race starts again with a new folder.
    for (int attempt = 0; attempt < 8; ++attempt) {
        QByteArray tmpl = encoded(pattern);
        if (!::mkdtemp(tmpl.data())) {
            if (error)
                *error =
                    QStringLiteral("cannot create a folder in %1: %2").arg(image.absolutePath(), errnoText());
            return nullptr;
        }
        std::unique_ptr<ImageWorkFolder> work(new ImageWorkFolder);
        work->m_path = QFile::decodeName(tmpl);
        work->m_lockPath = work->m_path + kLockSuffix;
        // Not close-on-exec: the engine the creator runs keeps the folder in use while it works.
        work->m_lockFd = ::open(encoded(work->m_lockPath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
        if (work->m_lockFd < 0) {
            if (error)
                *error = QStringLiteral("cannot create %1: %2").arg(work->m_lockPath, errnoText());
            ::rmdir(tmpl.constData());
            work->m_lockPath.clear();
            return nullptr;
        }
        if (::flock(work->m_lockFd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                ::close(work->m_lockFd);
                work->m_lockFd = -1;
                continue;
            }
            // A file system without locks: nothing can be swept there either, so the folder is safe.
            qCInfo(lcDiskImage) << "cannot lock" << work->m_lockPath << errnoText();
            return work;
        }
        struct stat st;
        if (sameFile(work->m_lockFd, work->m_lockPath) && ::lstat(tmpl.constData(), &st) == 0 &&
            S_ISDIR(st.st_mode))
            return work;
        ::close(work->m_lockFd);
        work->m_lockFd = -1;
    }
    if (error)
        *error = QStringLiteral("cannot create a work folder in %1").arg(image.absolutePath());
    return nullptr;
}

bool ImageWorkFolder::moveInto(const QString& imagePath, QString* error)
{
    if (::renameat2(AT_FDCWD, encoded(m_path).constData(), AT_FDCWD, encoded(imagePath).constData(),
                    RENAME_NOREPLACE) != 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(imagePath, errnoText());
        return false;
    }
    m_path = imagePath;
    return true;
}

void ImageWorkFolder::discard()
{
    QDir(m_path).removeRecursively();
}

bool ImageWorkFolder::isWorkFolderName(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\..+\\.(sparsebundle|sparseimage|dmg)\\.creating-[A-Za-z0-9]{6}$"));
    return pattern.match(name).hasMatch();
}

QStringList ImageWorkFolder::removeAbandoned(const QString& folder)
{
    QStringList removed;
    const QDir dir(folder);
    QSet<QString> works;
    for (const QString& name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (isWorkFolderName(name))
            works.insert(name);
        else if (name.endsWith(kLockSuffix) && isWorkFolderName(name.chopped(kLockSuffix.size())))
            works.insert(name.chopped(kLockSuffix.size()));
    }
    const uid_t me = ::geteuid();
    for (const QString& name : std::as_const(works)) {
        const QString work = dir.filePath(name);
        const QString lockPath = work + kLockSuffix;
        const int fd = ::open(encoded(lockPath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            continue;
        // Held: its creator (or the engine it started) still works there.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !sameFile(fd, lockPath)) {
            ::close(fd);
            continue;
        }
        struct stat st;
        if (::lstat(encoded(work).constData(), &st) != 0) {
            ::unlink(encoded(lockPath).constData());
        } else if (S_ISDIR(st.st_mode) && st.st_uid == me && removeCreationContent(work)) {
            ::unlink(encoded(lockPath).constData());
            removed.append(work);
            qCInfo(lcDiskImage) << "removed the unfinished image" << work;
        } else {
            ::unlink(encoded(lockPath).constData());
            qCWarning(lcDiskImage) << "left the unfinished image" << work
                                   << "in place: it holds more than a creation makes";
        }
        ::close(fd);
    }
    return removed;
}

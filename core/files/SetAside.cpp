#include "core/files/SetAside.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bounds the walk: a tree this large is not "nothing" in any sense a user would mean.
constexpr int kMaxEntries = 10000;

bool foldersOnly(int dirFd, int& budget)
{
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return false;
    }
    bool empty = true;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat st;
        if (--budget < 0 || ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
            empty = false;
            break;
        }
        const int child =
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0 || !foldersOnly(child, budget)) {
            empty = false;
            break;
        }
        errno = 0;
    }
    // A folder that could not be read to its end may hide anything.
    if (empty && errno != 0)
        empty = false;
    ::closedir(dir);
    return empty;
}

} // namespace

QString SetAside::moveAside(const QString& from, const QString& basePath, const QString& suffix)
{
    const QByteArray source = QFile::encodeName(from);
    for (int number = 0; number < 10000; ++number) {
        const QString candidate =
            basePath + suffix + (number ? QStringLiteral("_%1").arg(number) : QString());
        // The kernel refuses to replace an existing name, so two callers can't pick the same one.
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, QFile::encodeName(candidate).constData(),
                        RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

bool SetAside::moveBack(const QString& aside, const QString& place)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(aside).constData(), AT_FDCWD,
                       QFile::encodeName(place).constData(), RENAME_NOREPLACE) == 0;
}

bool SetAside::holdsNothing(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st;
    if (path.isEmpty() || ::lstat(encoded.constData(), &st) != 0 || st.st_uid != ::getuid())
        return false;
    if (S_ISREG(st.st_mode))
        return st.st_size == 0;
    if (!S_ISDIR(st.st_mode))
        return false;
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int budget = kMaxEntries;
    return fd >= 0 && foldersOnly(fd, budget);
}

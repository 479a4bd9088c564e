#include "core/vault/VaultVolume.h"

#include "core/files/TreeSize.h"
#include "core/settings/Paths.h"
#include "core/vault/DiskImageMetadata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString kFsType = QStringLiteral("fuse.gocryptfs");

QString canonicalOrClean(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

// Walks with openat so a deep tree never builds long path strings, and never follows links.
qint64 sizeBelow(int dirFd)
{
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    qint64 total = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int child =
                ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                total += sizeBelow(child);
        } else {
            total += st.st_size;
        }
    }
    ::closedir(dir);
    return total;
}

} // namespace

QList<MountedVault> VaultVolume::mountedVaults(const QList<MountEntry>& mounts)
{
    QList<MountedVault> vaults;
    for (const MountEntry& m : mounts) {
        if (m.fsType != kFsType)
            continue;
        const QString image = DiskImageMetadata::imageOfCipherFolder(m.source);
        if (!image.isEmpty())
            vaults.append({canonicalOrClean(image), m.mountPoint});
    }
    return vaults;
}

std::optional<MountedVault> VaultVolume::mountOfImage(const QString& imagePath,
                                                      const QList<MountEntry>& mounts)
{
    return mountOfImage(imagePath, mountedVaults(mounts));
}

std::optional<MountedVault> VaultVolume::mountOfImage(const QString& imagePath,
                                                      const QList<MountedVault>& vaults)
{
    const QString wanted = canonicalOrClean(imagePath);
    for (const MountedVault& v : vaults) {
        if (v.imagePath == wanted)
            return v;
    }
    return std::nullopt;
}

std::optional<MountedVault> VaultVolume::vaultAtMountPoint(const QString& mountPoint,
                                                           const QList<MountEntry>& mounts)
{
    const QString clean = QDir::cleanPath(QFileInfo(mountPoint).absoluteFilePath());
    const QString canonical = canonicalOrClean(mountPoint);
    for (const MountedVault& v : mountedVaults(mounts)) {
        if (v.mountPoint == clean || v.mountPoint == canonical)
            return v;
    }
    return std::nullopt;
}

bool VaultVolume::isBelowVolumesRoot(const QString& mountPoint)
{
    const QString root = Paths::volumesRoot();
    const QString parent = QFileInfo(QDir::cleanPath(mountPoint)).absolutePath();
    return parent == QDir::cleanPath(root) || parent == QFileInfo(root).canonicalFilePath();
}

QStringList VaultVolume::mountedVaultNames(const QList<MountEntry>& mounts)
{
    QStringList names;
    for (const MountedVault& v : mountedVaults(mounts)) {
        const QString name = QFileInfo(v.mountPoint).fileName();
        if (isBelowVolumesRoot(v.mountPoint) && !names.contains(name))
            names.append(name);
    }
    return names;
}

std::optional<VaultSpace> VaultVolume::spaceOfImage(const QString& imagePath)
{
    const std::optional<DiskImageMetadata> meta = DiskImageMetadata::read(imagePath);
    if (!meta)
        return std::nullopt;
    VaultSpace space;
    space.capacity = meta->capacity;
    space.used = bytesStored(DiskImageMetadata::cipherPath(imagePath));
    space.free = std::max<qint64>(0, space.capacity - space.used);
    if (const std::optional<qint64> disk = diskFree(imagePath))
        space.free = std::min(space.free, *disk);
    return space;
}

std::optional<VaultSpace> VaultVolume::spaceAtMountPoint(const QString& mountPoint)
{
    const std::optional<MountedVault> vault = vaultAtMountPoint(mountPoint);
    if (!vault)
        return std::nullopt;
    return spaceOfImage(vault->imagePath);
}

qint64 VaultVolume::bytesStored(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? 0 : sizeBelow(fd);
}

ImageBytes VaultVolume::measureImage(const QString& imagePath)
{
    ImageBytes bytes;
    const QByteArray path = QFile::encodeName(imagePath);
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return bytes;
    if (!S_ISDIR(st.st_mode)) {
        bytes.image = st.st_size;
        return bytes;
    }
    DIR* dir = ::opendir(path.constData());
    if (!dir)
        return bytes;
    const QByteArray cipher = QFile::encodeName(DiskImageMetadata::cipherFolderName());
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(st.st_mode)) {
            bytes.image += st.st_size;
            continue;
        }
        if (cipher == entry->d_name) {
            // The large part: walked by several threads.
            bytes.stored = qint64(TreeSize::measure(DiskImageMetadata::cipherPath(imagePath),
                                                    TreeSize::Count::EverythingButFolders));
            bytes.image += bytes.stored;
            continue;
        }
        const int child =
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        bytes.image += child >= 0 ? sizeBelow(child) : 0;
    }
    ::closedir(dir);
    return bytes;
}

std::optional<qint64> VaultVolume::diskFree(const QString& path)
{
    struct statvfs st;
    if (::statvfs(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return static_cast<qint64>(st.f_bavail) * static_cast<qint64>(st.f_frsize);
}

#pragma once

#include "core/vault/MountTable.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// A vault image that is mounted, as the mount table shows it.
struct MountedVault
{
    QString imagePath; // canonical absolute path of the image folder
    QString mountPoint;
};

// Size of a vault volume. The encrypted folder can grow until the disk is full, so the
// capacity recorded in the image is the limit the programs plan with.
struct VaultSpace
{
    qint64 capacity = 0;
    qint64 used = 0; // bytes stored in the encrypted folder
    qint64 free = 0; // min(capacity - used, free space of the disk holding the image), never < 0
};

// What a vault image takes on disk, from one walk of its folder.
struct ImageBytes
{
    qint64 image = 0;  // the whole image: metadata, the encrypted folder, anything else in it
    qint64 stored = 0; // the encrypted folder alone
};

class VaultVolume
{
public:
    // Every mounted vault image, in mount-table order.
    static QList<MountedVault> mountedVaults(const QList<MountEntry>& mounts = MountTable::read());
    static std::optional<MountedVault> mountOfImage(const QString& imagePath,
                                                    const QList<MountEntry>& mounts = MountTable::read());
    // The same in a list made once for several questions.
    static std::optional<MountedVault> mountOfImage(const QString& imagePath,
                                                    const QList<MountedVault>& vaults);
    static std::optional<MountedVault>
    vaultAtMountPoint(const QString& mountPoint, const QList<MountEntry>& mounts = MountTable::read());
    // Whether a mount point is a vault's own place: directly below the volumes root (as given
    // or as the kernel shows it, resolved).
    static bool isBelowVolumesRoot(const QString& mountPoint);
    // Names of the vaults mounted at their own place below the volumes root. A folder of that
    // name with nothing mounted on it does not count: its files would not be encrypted.
    static QStringList mountedVaultNames(const QList<MountEntry>& mounts = MountTable::read());

    // Capacity and free space of a vault, from its image or from its mount point.
    static std::optional<VaultSpace> spaceOfImage(const QString& imagePath);
    static std::optional<VaultSpace> spaceAtMountPoint(const QString& mountPoint);

    // Bytes the files below a folder occupy (apparent sizes; links count their target text).
    static qint64 bytesStored(const QString& folder);
    // Both figures of an image in one walk; a plain image file counts as its own size.
    static ImageBytes measureImage(const QString& imagePath);
    // Space an unprivileged writer may still use on the file system holding path.
    static std::optional<qint64> diskFree(const QString& path);
};

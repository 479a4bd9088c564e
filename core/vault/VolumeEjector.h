#pragma once

#include <QString>

// Unmounting and ejecting a vault volume the way a user's eject does: the disk-image tool's
// detach without force, which fails while a process holds files in the volume.
class VolumeEjector
{
public:
    // True when the volume at mountPoint is detached now; *error gets the tool's reason.
    static bool unmountAndEjectDeviceAtPath(const QString& mountPoint, QString* error = nullptr);
};

#pragma once

#include <QString>

// Mounts a network share synchronously. The credentials reach the mount helper only on its
// standard input, never on a command line.
class ServerVolumeMounter
{
public:
    virtual ~ServerVolumeMounter() = default;
    // 0 when the share is mounted (or already was); non-zero on failure. An empty user
    // means no credentials: the share is mounted as a guest.
    virtual int mountServerVolume(const QString& url, const QString& user, const QString& password) = 0;
};

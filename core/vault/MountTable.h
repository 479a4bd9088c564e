#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <sys/types.h>

// One line of /proc/self/mountinfo, with the octal escapes (\040 for a space, …) undone.
struct MountEntry
{
    QString mountPoint;
    QString fsType; // "fuse.gocryptfs", "cifs", "fuse.gvfsd-fuse", …
    QString source; // for gocryptfs, the cipher folder
    QString root;   // the part of the source file system that is mounted
    QString options;
    dev_t device = 0; // the file system's device number, as /proc/PID/maps shows it
};

// The mounts this process sees. Read afresh on every call: mounts change under us.
class MountTable
{
public:
    static QString defaultPath() { return QStringLiteral("/proc/self/mountinfo"); }
    static QList<MountEntry> read(const QString& mountInfoPath = defaultPath());
    static QList<MountEntry> parse(const QByteArray& mountInfo);
    // The entry whose mount point is the longest prefix of path (path need not exist).
    static std::optional<MountEntry> mountContaining(const QString& path, const QList<MountEntry>& mounts);
    static QString unescape(const QByteArray& field);
};

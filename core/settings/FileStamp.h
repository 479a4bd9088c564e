#pragma once

#include <QString>
#include <sys/types.h>

// What tells one version of a file from another without reading it: device, inode, size and
// modification time (an atomic replace gives a new inode even within one timestamp tick).
struct FileStamp
{
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;

    static FileStamp of(const QString& path);
};

#pragma once

#include "core/processes/ProcTable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <sys/types.h>
#include <vector>

// The processes that keep something below a folder in use: as their working folder or root
// folder, as an open file or as a mapped file.
//
// Only the user's own processes are looked at: a vault's FUSE mount is reachable by its owner
// alone, and other users' descriptors can't be read anyway. Each process is read through one
// directory descriptor; a mapped file is matched by the device numbers of the file systems at
// and below the folder before its path is compared; many processes are shared out over the
// cores. This answers the lock and detach questions of every program and the disk-image tool.
class FolderHolders
{
public:
    // The folder is resolved when it can be; a folder that can't be resolved (a dead mount)
    // is taken as given, cleaned.
    explicit FolderHolders(const QString& folder, const QString& procRoot = ProcTable::defaultRoot());

    QByteArray folder() const { return m_folder; }
    // Ids of the processes holding something below the folder, ascending, without skipPid.
    QList<qint64> pids(qint64 skipPid = 0) const;
    // Whether the process whose /proc directory is open as pidFd holds something below it.
    bool holds(int pidFd) const;

private:
    enum class MapsAnswer
    {
        Held,
        NotHeld,
        Unknown
    };
    bool holds(int pidFd, std::vector<char>& buffer) const;
    bool fdsHold(int pidFd) const;
    bool mapsHold(int pidFd, std::vector<char>& buffer) const;
    MapsAnswer queryMaps(int mapsFd) const;
    bool linkIsUnder(int dirFd, const char* name) const;
    bool isUnder(const char* path, size_t length) const;
    bool onFolderDevice(dev_t device) const;

    QByteArray m_procRoot;
    QByteArray m_folder;
    // File systems a file below the folder can live on; empty when unknown (paths decide).
    std::vector<dev_t> m_devices;
    // Cleared when the kernel doesn't know the maps query; the maps text then serves.
    mutable std::atomic<bool> m_mapsQueryWorks{true};
};

#include "core/processes/FolderHolders.h"

#include "core/vault/MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// The maps file's query call (Linux 6.11): one mapping per call with its device number, and its
// path only when asked, so no line of text is made for the mappings that can't matter.
struct MapsQuery
{
    quint64 size;
    quint64 queryFlags;
    quint64 queryAddress;
    quint64 start;
    quint64 end;
    quint64 flags;
    quint64 pageSize;
    quint64 offset;
    quint64 inode;
    quint32 devMajor;
    quint32 devMinor;
    quint32 nameSize;
    quint32 buildIdSize;
    quint64 nameAddress;
    quint64 buildIdAddress;
};
constexpr unsigned long kMapsQuery = _IOWR('f', 17, MapsQuery);
constexpr quint64 kCoveringOrNext = 0x10;
constexpr quint64 kFileBacked = 0x20;

// Below this many processes per thread, starting threads costs more than it saves.
constexpr qsizetype kProcessesPerThread = 64;
// Threads take processes in small runs, so a few with huge maps don't leave one thread alone.
constexpr qsizetype kRun = 8;

bool endsWithDeletedMark(const char* path, size_t length)
{
    static constexpr char mark[] = " (deleted)";
    constexpr size_t markLength = sizeof mark - 1;
    return length > markLength && memcmp(path + length - markLength, mark, markLength) == 0;
}

// A hexadecimal field of a maps line, up to the given separator.
bool parseHex(const char*& at, const char* end, char separator, unsigned* value)
{
    unsigned v = 0;
    const char* start = at;
    for (; at < end && *at != separator; ++at) {
        const char c = *at;
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return false;
        v = v * 16 + unsigned(digit);
    }
    if (at == start || at == end)
        return false;
    ++at;
    *value = v;
    return true;
}

} // namespace

FolderHolders::FolderHolders(const QString& folder, const QString& procRoot)
    : m_procRoot(QFile::encodeName(procRoot))
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    m_folder = QFile::encodeName(canonical.isEmpty() ? QDir::cleanPath(folder) : canonical);
    if (m_folder.isEmpty())
        return;

    // Mapped files show the device number of their file system as the mount table has it (a
    // btrfs subvolume's files stat with another one): the folder's mount and every mount below.
    // Only the folder itself is looked at; a mount below may hang, the table never does.
    auto addDevice = [this](dev_t device) {
        if (std::find(m_devices.begin(), m_devices.end(), device) == m_devices.end())
            m_devices.push_back(device);
    };
    struct stat st;
    if (stat(m_folder.constData(), &st) == 0)
        addDevice(st.st_dev);
    const QList<MountEntry> mounts = MountTable::read();
    if (const std::optional<MountEntry> containing =
            MountTable::mountContaining(QFile::decodeName(m_folder), mounts))
        addDevice(containing->device);
    for (const MountEntry& mount : mounts) {
        const QByteArray point = QFile::encodeName(mount.mountPoint);
        if (isUnder(point.constData(), size_t(point.size())))
            addDevice(mount.device);
    }
    // Without the mount table, mounts below the folder are unknown: only paths can tell.
    if (mounts.isEmpty())
        m_devices.clear();
}

bool FolderHolders::isUnder(const char* path, size_t length) const
{
    // Files removed while open read back as "<path> (deleted)": the folder still holds them.
    if (endsWithDeletedMark(path, length))
        length -= sizeof " (deleted)" - 1;
    const size_t n = size_t(m_folder.size());
    if (length < n || memcmp(path, m_folder.constData(), n) != 0)
        return false;
    return length == n || m_folder.endsWith('/') || path[n] == '/';
}

bool FolderHolders::onFolderDevice(dev_t device) const
{
    return m_devices.empty() || std::find(m_devices.begin(), m_devices.end(), device) != m_devices.end();
}

bool FolderHolders::linkIsUnder(int dirFd, const char* name) const
{
    char target[PATH_MAX + 1];
    const ssize_t n = readlinkat(dirFd, name, target, PATH_MAX);
    // Sockets, pipes and anonymous files don't start with '/'.
    return n > 0 && target[0] == '/' && isUnder(target, size_t(n));
}

FolderHolders::MapsAnswer FolderHolders::queryMaps(int mapsFd) const
{
    char name[PATH_MAX + 1];
    for (quint64 address = 0;;) {
        MapsQuery q{};
        q.size = sizeof q;
        q.queryFlags = kCoveringOrNext | kFileBacked;
        q.queryAddress = address;
        if (ioctl(mapsFd, kMapsQuery, &q) != 0) {
            if (errno == ENOENT)
                return MapsAnswer::NotHeld; // past the last mapping
            if (errno == ENOTTY || errno == EOPNOTSUPP)
                m_mapsQueryWorks = false;
            return MapsAnswer::Unknown;
        }
        if (onFolderDevice(makedev(q.devMajor, q.devMinor))) {
            MapsQuery named{};
            named.size = sizeof named;
            named.queryAddress = q.start;
            named.nameSize = sizeof name;
            named.nameAddress = quint64(reinterpret_cast<quintptr>(name));
            if (ioctl(mapsFd, kMapsQuery, &named) != 0)
                return MapsAnswer::Unknown; // changed under us: let the text decide
            if (named.nameSize > 1 && name[0] == '/' && isUnder(name, named.nameSize - 1))
                return MapsAnswer::Held;
        }
        if (q.end <= address)
            return MapsAnswer::Unknown;
        address = q.end;
    }
}

bool FolderHolders::mapsHold(int pidFd, std::vector<char>& buffer) const
{
    const int fd = openat(pidFd, "maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (m_mapsQueryWorks) {
        const MapsAnswer answer = queryMaps(fd);
        if (answer != MapsAnswer::Unknown) {
            close(fd);
            return answer == MapsAnswer::Held;
        }
    }
    if (buffer.size() < (64u << 10))
        buffer.resize(64u << 10);
    size_t used = 0;
    for (;;) {
        if (buffer.size() - used < (16u << 10))
            buffer.resize(buffer.size() * 2);
        const ssize_t n = read(fd, buffer.data() + used, buffer.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        used += size_t(n);
    }
    close(fd);

    // "address perms offset major:minor inode   /path": the device first, the path only when
    // the device is one the folder's files live on.
    const char* line = buffer.data();
    const char* const end = line + used;
    while (line < end) {
        const char* eol = static_cast<const char*>(memchr(line, '\n', size_t(end - line)));
        if (!eol)
            eol = end;
        const char* at = line;
        for (int spaces = 0; at < eol && spaces < 3; ++at)
            spaces += *at == ' ';
        unsigned major = 0, minor = 0;
        if (parseHex(at, eol, ':', &major) && parseHex(at, eol, ' ', &minor) &&
            onFolderDevice(makedev(major, minor))) {
            const char* path = static_cast<const char*>(memchr(at, '/', size_t(eol - at)));
            if (path && isUnder(path, size_t(eol - path)))
                return true;
        }
        line = eol + 1;
    }
    return false;
}

bool FolderHolders::holds(int pidFd) const
{
    std::vector<char> buffer;
    return holds(pidFd, buffer);
}

bool FolderHolders::fdsHold(int pidFd) const
{
    const int dirFd = openat(pidFd, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return false;
    // The raw directory call: this runs for every process, and the stream functions would add
    // calls and an allocation to each.
    alignas(8) char entries[16384];
    bool found = false;
    for (;;) {
        const long n = syscall(SYS_getdents64, dirFd, entries, sizeof entries);
        if (n <= 0)
            break;
        for (long at = 0; at < n && !found;) {
            const auto* e = reinterpret_cast<const struct dirent64*>(entries + at);
            found = e->d_name[0] != '.' && linkIsUnder(dirFd, e->d_name);
            at += e->d_reclen;
        }
        // An answer with room to spare for another entry was the directory's last.
        if (found || n < long(sizeof entries) - 256)
            break;
    }
    close(dirFd);
    return found;
}

bool FolderHolders::holds(int pidFd, std::vector<char>& buffer) const
{
    if (m_folder.isEmpty())
        return false;
    return linkIsUnder(pidFd, "cwd") || linkIsUnder(pidFd, "root") || fdsHold(pidFd) ||
           mapsHold(pidFd, buffer);
}

QList<qint64> FolderHolders::pids(qint64 skipPid) const
{
    QList<qint64> result;
    if (m_folder.isEmpty())
        return result;
    const int procFd = open(m_procRoot.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0)
        return result;
    const QList<qint64> all = ProcTable(QFile::decodeName(m_procRoot)).pids();
    const uid_t me = geteuid();
    std::vector<char> held(size_t(all.size()), 0);
    std::atomic<qsizetype> next{0};
    auto scan = [&] {
        std::vector<char> buffer;
        for (;;) {
            const qsizetype first = next.fetch_add(kRun);
            if (first >= all.size())
                return;
            for (qsizetype i = first; i < std::min(first + kRun, all.size()); ++i) {
                if (all[i] == skipPid)
                    continue;
                const int pidFd = openat(procFd, QByteArray::number(all[i]).constData(),
                                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (pidFd < 0)
                    continue;
                struct stat st;
                if (fstat(pidFd, &st) == 0 && st.st_uid == me)
                    held[size_t(i)] = holds(pidFd, buffer) ? 1 : 0;
                close(pidFd);
            }
        }
    };
    const qsizetype threads =
        std::clamp<qsizetype>(all.size() / kProcessesPerThread, 1, std::max(1, QThread::idealThreadCount()));
    std::vector<std::thread> helpers;
    for (qsizetype t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(scan);
        } catch (const std::system_error&) {
            break; // no thread to be had: the others, this one included, do the work
        }
    }
    scan();
    for (std::thread& t : helpers)
        t.join();
    close(procFd);
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (held[size_t(i)])
            result.append(all[i]);
    }
    return result;
}

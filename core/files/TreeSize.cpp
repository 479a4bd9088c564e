#include "core/files/TreeSize.h"

#include <QByteArray>
#include <QFile>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Folders whose path gets this long are finished by the thread that found them, through
// descriptors, so a deep tree never needs long path strings.
constexpr qsizetype kLongPath = 3000;

bool isDot(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Sums the entries of one open folder; each subfolder goes to subfolder(fd of the folder, name).
bool isCancelled(const TreeSize::Progress& progress)
{
    return progress.cancelled && progress.cancelled->load(std::memory_order_relaxed);
}

template<typename Subfolder>
quint64 scanFolder(DIR* dir, TreeSize::Count count, const TreeSize::Progress& progress, Subfolder&& subfolder)
{
    quint64 total = 0;
    quint64 files = 0;
    quint64 reportedBytes = 0;
    unsigned seen = 0;
    // The counters are shared by every walking thread: added to in batches, not per entry.
    const auto report = [&] {
        if (progress.files)
            progress.files->fetch_add(files, std::memory_order_relaxed);
        if (progress.bytes)
            progress.bytes->fetch_add(total - reportedBytes, std::memory_order_relaxed);
        files = 0;
        reportedBytes = total;
    };
    if (isCancelled(progress))
        return 0;
    while (const dirent* entry = ::readdir(dir)) {
        // A folder of many thousand entries is looked at again as it is read.
        if ((++seen & 4095) == 0) {
            report();
            if (isCancelled(progress))
                break;
        }
        if (isDot(entry->d_name))
            continue;
        unsigned char type = entry->d_type;
        // Folders need no stat: their own size never counts.
        if (type != DT_DIR) {
            struct stat st;
            if (count == TreeSize::Count::RegularFiles && type != DT_UNKNOWN && type != DT_REG)
                continue;
            if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                type = DT_DIR;
            } else {
                if (S_ISREG(st.st_mode) || count == TreeSize::Count::EverythingButFolders) {
                    total += quint64(st.st_size);
                    ++files;
                }
                continue;
            }
        }
        subfolder(::dirfd(dir), entry->d_name);
    }
    report();
    return total;
}

quint64 sumBelow(int fd, TreeSize::Count count, const TreeSize::Progress& progress)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return 0;
    }
    quint64 below = 0;
    const quint64 own = scanFolder(dir, count, progress, [&](int parent, const char* name) {
        const int child = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0)
            below += sumBelow(child, count, progress);
    });
    ::closedir(dir);
    return own + below;
}

// Folders waiting to be read, shared by the walking threads.
struct Walk
{
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<QByteArray> folders;
    int busy = 0;
    quint64 total = 0;
    TreeSize::Count count;
    TreeSize::Progress progress;

    void run()
    {
        for (;;) {
            QByteArray path;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return !folders.empty() || busy == 0; });
                if (isCancelled(progress))
                    folders.clear();
                if (folders.empty())
                    return;
                // Depth first keeps the list of waiting folders short.
                path = std::move(folders.back());
                folders.pop_back();
                ++busy;
            }
            std::vector<QByteArray> found;
            quint64 sum = 0;
            const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) {
                if (DIR* dir = ::fdopendir(fd)) {
                    sum = scanFolder(dir, count, progress, [&](int parent, const char* name) {
                        QByteArray child = path + '/' + name;
                        if (child.size() < kLongPath) {
                            found.push_back(std::move(child));
                            return;
                        }
                        const int deep =
                            ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                        if (deep >= 0)
                            sum += sumBelow(deep, count, progress);
                    });
                    ::closedir(dir);
                } else {
                    ::close(fd);
                }
            }
            {
                std::lock_guard lock(mutex);
                total += sum;
                for (QByteArray& folder : found)
                    folders.push_back(std::move(folder));
                --busy;
            }
            wake.notify_all();
        }
    }
};

} // namespace

quint64 TreeSize::measure(const QString& path, Count count, int threads)
{
    return measure(path, count, threads, Progress{});
}

quint64 TreeSize::measure(const QString& path, Count count, int threads, const Progress& progress)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st;
    if (path.isEmpty() || ::stat(encoded.constData(), &st) != 0)
        return 0;
    if (!S_ISDIR(st.st_mode)) {
        const quint64 size =
            S_ISREG(st.st_mode) || count == Count::EverythingButFolders ? quint64(st.st_size) : 0;
        if (progress.files)
            progress.files->fetch_add(1, std::memory_order_relaxed);
        if (progress.bytes)
            progress.bytes->fetch_add(size, std::memory_order_relaxed);
        return size;
    }

    // The top folder is read here (through a final link); what lies below is shared out.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return 0;
    }
    Walk walk;
    walk.count = count;
    walk.progress = progress;
    const QByteArray top = encoded.endsWith('/') ? encoded.chopped(1) : encoded;
    walk.total = scanFolder(dir, count, progress,
                            [&](int, const char* name) { walk.folders.push_back(top + '/' + name); });
    ::closedir(dir);
    if (walk.folders.empty())
        return walk.total;
    std::vector<std::thread> helpers;
    for (int i = 1; i < std::max(1, threads); ++i)
        helpers.emplace_back([&walk] { walk.run(); });
    walk.run();
    for (std::thread& helper : helpers)
        helper.join();
    return walk.total;
}

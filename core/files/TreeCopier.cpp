#include "core/files/TreeCopier.h"

#include "core/files/CopyManifest.h"
#include "core/files/SetAside.h"
#include "core/system/Logging.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

QString errnoText(const char* what, const QByteArray& path, int err)
{
    return QStringLiteral("%1 %2: %3")
        .arg(QLatin1String(what), QFile::decodeName(path), QString::fromLocal8Bit(strerror(err)));
}

// Extended attributes a user can't set (security.*, trusted.*) or a target that has none are
// not failures; everything else is.
bool xattrErrorMatters(int err)
{
    return err != ENOTSUP && err != EPERM && err != EACCES;
}

bool copyXattrs(int srcFd, int dstFd, QString* error, const QByteArray& path)
{
    ssize_t len = flistxattr(srcFd, nullptr, 0);
    if (len <= 0)
        return len == 0 || errno == ENOTSUP;
    std::vector<char> names(size_t(len) + 1);
    len = flistxattr(srcFd, names.data(), names.size());
    if (len < 0)
        return errno == ENOTSUP;
    std::vector<char> value;
    for (ssize_t i = 0; i < len; i += ssize_t(strlen(names.data() + i)) + 1) {
        const char* name = names.data() + i;
        ssize_t vlen = fgetxattr(srcFd, name, nullptr, 0);
        if (vlen < 0)
            continue;
        value.resize(size_t(vlen) + 1);
        vlen = fgetxattr(srcFd, name, value.data(), value.size());
        if (vlen < 0)
            continue;
        if (fsetxattr(dstFd, name, value.data(), size_t(vlen), 0) != 0 && xattrErrorMatters(errno)) {
            *error = errnoText("cannot set extended attribute on", path, errno);
            return false;
        }
    }
    return true;
}

// What the destination does with the entries this copy creates, learnt once per copy so that
// calls that would change nothing can be left out: on a FUSE mount each is a round trip to the
// engine, and a vault's engine shares the cores with us.
struct CreationRules
{
    bool ownerKnown = false; // new entries belong to ownerUid/ownerGid
    uid_t ownerUid = 0;
    gid_t ownerGid = 0;
    bool modeKnown = false; // new files get the mode asked for, less the umask
    mode_t umask = 0;

    static CreationRules of(const QByteArray& folder, const struct stat& folderStat)
    {
        CreationRules rules;
        // A set-group-id folder or one of another group hands its group down (also on file
        // systems mounted with grpid); otherwise new entries take our own ids.
        rules.ownerUid = geteuid();
        rules.ownerGid = getegid();
        rules.ownerKnown = !(folderStat.st_mode & S_ISGID) && folderStat.st_gid == rules.ownerGid;
        // A default ACL decides modes instead of the umask; without one the umask alone does.
        const bool defaultAcl = getxattr(folder.constData(), "system.posix_acl_default", nullptr, 0) >= 0 ||
                                (errno != ENODATA && errno != ENOTSUP);
        if (!defaultAcl) {
            QFile status(QStringLiteral("/proc/self/status"));
            if (status.open(QIODevice::ReadOnly)) {
                for (const QByteArray& line : status.readAll().split('\n')) {
                    if (line.startsWith("Umask:")) {
                        bool ok = false;
                        rules.umask = mode_t(line.mid(6).trimmed().toUInt(&ok, 8));
                        rules.modeKnown = ok;
                    }
                }
            }
        }
        return rules;
    }

    bool ownsLike(const struct stat& st) const
    {
        return ownerKnown && st.st_uid == ownerUid && st.st_gid == ownerGid;
    }
    // The mode to create a file with: its final one when the result is certain and leaves us
    // able to write it, else a private one that is corrected afterwards.
    mode_t createMode(const struct stat& st, bool* final) const
    {
        const mode_t mode = st.st_mode & 07777;
        *final = modeKnown && (mode & S_IRUSR) && (mode & S_IWUSR) && !(mode & 07000) && !(mode & umask);
        return *final ? mode : 0600;
    }
};

// Ownership, mode, extended attributes and timestamps, in an order where each step can't undo
// the previous one (chown clears set-id bits; the mode may remove our write access). Calls that
// would change nothing are left out: each is a round trip on a FUSE mount.
bool applyMetadata(int srcFd, int dstFd, const struct stat& st, QString* error, const QByteArray& path,
                   bool ownerIsSet, bool modeIsSet)
{
    if (!ownerIsSet && fchown(dstFd, st.st_uid, st.st_gid) != 0 && errno != EPERM) {
        *error = errnoText("cannot set owner of", path, errno);
        return false;
    }
    if (!copyXattrs(srcFd, dstFd, error, path))
        return false;
    if (!modeIsSet && fchmod(dstFd, st.st_mode & 07777) != 0) {
        *error = errnoText("cannot set permissions of", path, errno);
        return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(dstFd, times) != 0) {
        *error = errnoText("cannot set timestamps of", path, errno);
        return false;
    }
    return true;
}

class Copier
{
public:
    Copier(TreeCopier::Control& control, const CreationRules& rules) : m_control(control), m_rules(rules) {}

    bool run(const QByteArray& src, const QByteArray& dst, const struct stat& st)
    {
        m_topLength = src.size();
        // The walking thread copies too once the walk is done, so one thread means no hand-over.
        for (int i = 1; i < m_control.threads; ++i) {
            try {
                m_workers.emplace_back([this] { workerLoop(); });
            } catch (const std::system_error&) {
                break; // no more threads to be had: fewer copy
            }
        }
        m_maxQueued = m_workers.size() * kQueuedPerWorker;
        copyEntry(src, dst, st);
        pushBatch();
        {
            std::lock_guard lock(m_mutex);
            m_walkDone = true;
        }
        m_wake.notify_all();
        workerLoop();
        for (auto& t : m_workers)
            t.join();
        for (const auto& [existing, link] : m_linksToMake) {
            if (!failed() && ::link(existing.constData(), link.constData()) != 0)
                fail(errnoText("cannot create hard link", link, errno));
        }
        // Folder metadata last, deepest first: creating entries changes a folder's timestamps,
        // and a read-only mode would have stopped us from filling it.
        for (auto it = m_folders.rbegin(); it != m_folders.rend() && !failed(); ++it)
            finishFolder(it->first, it->second);
        return !failed();
    }

    QString error() const
    {
        std::lock_guard lock(m_mutex);
        return m_error;
    }

private:
    struct FileTask
    {
        QByteArray src, dst;
        struct stat st;
    };
    using Batch = std::vector<FileTask>;

    // Files travel to the copying threads in batches from one folder: fewer hand-overs, and
    // threads that work in different folders don't queue on one folder's lock for each create.
    static constexpr size_t kBatchFiles = 32;
    static constexpr qint64 kBatchBytes = 16 << 20;
    // Beyond this many waiting batches per thread the walker copies one itself, which bounds
    // the memory a huge tree takes.
    static constexpr size_t kQueuedPerWorker = 64;
    // Data moves in large writes: on FUSE every write call also costs a round trip for the
    // kernel's capability check, whatever its size.
    static constexpr size_t kMaxChunk = 4 << 20;

    bool failed() const { return m_failed.load() || m_control.cancelled.load(); }

    void note(const QByteArray& src, char type, const struct stat& st, qint64 size = 0,
              const QByteArray& linkTarget = {}, const QByteArray& checksum = {})
    {
        if (!m_control.manifest)
            return;
        CopyManifest::Entry entry;
        entry.type = type;
        entry.mode = st.st_mode & 07777;
        entry.size = size;
        entry.mtimeSeconds = st.st_mtim.tv_sec;
        entry.mtimeNanoseconds = st.st_mtim.tv_nsec;
        entry.linkTarget = linkTarget;
        entry.checksum = checksum;
        m_control.manifest->record(src.mid(m_topLength), entry);
    }

    void fail(const QString& message)
    {
        std::lock_guard lock(m_mutex);
        if (!m_failed.exchange(true))
            m_error = message;
        m_wake.notify_all();
    }

    void pushBatch()
    {
        if (m_batch.empty())
            return;
        Batch ready;
        ready.swap(m_batch);
        m_batchBytes = 0;
        std::unique_lock lock(m_mutex);
        if (m_queue.size() >= m_maxQueued) {
            // Copy the oldest batch here instead of queueing without bound.
            m_queue.push_back(std::move(ready));
            Batch mine = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            m_wake.notify_one();
            copyBatch(mine, m_walkerBuffer);
            return;
        }
        m_queue.push_back(std::move(ready));
        lock.unlock();
        m_wake.notify_one();
    }

    void copyEntry(const QByteArray& src, const QByteArray& dst, const struct stat& st)
    {
        if (failed())
            return;
        if (S_ISDIR(st.st_mode)) {
            pushBatch();
            copyFolder(src, dst);
            pushBatch();
        } else if (S_ISREG(st.st_mode)) {
            if (st.st_nlink > 1) {
                const auto key = std::make_pair(st.st_dev, st.st_ino);
                const auto found = m_hardLinks.find(key);
                if (found != m_hardLinks.end()) {
                    // The first name may still be in a worker's hands: link once all are written.
                    m_linksToMake.emplace_back(found->second, dst);
                    m_control.bytesDone += quint64(st.st_size);
                    note(src, 'f', st, st.st_size);
                    return;
                }
                m_hardLinks.emplace(key, dst);
            }
            m_batch.push_back({src, dst, st});
            m_batchBytes += st.st_size;
            if (m_batch.size() >= kBatchFiles || m_batchBytes >= kBatchBytes)
                pushBatch();
        } else if (S_ISLNK(st.st_mode)) {
            copyLink(src, dst, st);
        } else if (S_ISFIFO(st.st_mode)) {
            if (mkfifo(dst.constData(), st.st_mode & 07777) != 0) {
                fail(errnoText("cannot create pipe", dst, errno));
                return;
            }
            // A pipe can't be opened without a partner, so its metadata is set by path.
            if (chown(dst.constData(), st.st_uid, st.st_gid) != 0 && errno != EPERM)
                qCInfo(lcFiles) << "Cannot set owner of pipe" << QFile::decodeName(dst);
            chmod(dst.constData(), st.st_mode & 07777);
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            utimensat(AT_FDCWD, dst.constData(), times, AT_SYMLINK_NOFOLLOW);
            note(src, 'p', st);
        } else {
            // Sockets and device nodes hold no data of their own; their programs recreate them.
            qCInfo(lcFiles) << "Skipping special file" << QFile::decodeName(src);
        }
    }

    void copyFolder(const QByteArray& src, const QByteArray& dst)
    {
        if (mkdir(dst.constData(), 0700) != 0) {
            fail(errnoText("cannot create folder", dst, errno));
            return;
        }
        m_folders.emplace_back(src, dst);
        DIR* dir = opendir(src.constData());
        if (!dir) {
            fail(errnoText("cannot read folder", src, errno));
            return;
        }
        const int dfd = dirfd(dir);
        errno = 0;
        while (struct dirent* e = readdir(dir)) {
            if (failed())
                break;
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            struct stat child;
            if (fstatat(dfd, name, &child, AT_SYMLINK_NOFOLLOW) != 0) {
                fail(errnoText("cannot read", src + '/' + name, errno));
                break;
            }
            copyEntry(src + '/' + name, dst + '/' + name, child);
            errno = 0;
        }
        if (errno != 0 && !failed())
            fail(errnoText("cannot read folder", src, errno));
        closedir(dir);
    }

    void finishFolder(const QByteArray& src, const QByteArray& dst)
    {
        const int s = open(src.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int d = open(dst.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        QString err;
        if (s < 0 || d < 0 || fstat(s, &st) != 0)
            err = errnoText("cannot open folder", s < 0 ? src : dst, errno);
        else if (applyMetadata(s, d, st, &err, dst, m_rules.ownsLike(st), false))
            note(src, 'd', st);
        if (s >= 0)
            close(s);
        if (d >= 0)
            close(d);
        if (!err.isEmpty())
            fail(err);
    }

    void copyLink(const QByteArray& src, const QByteArray& dst, const struct stat& st)
    {
        QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, Qt::Uninitialized);
        const ssize_t n = readlink(src.constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size()) {
            fail(errnoText("cannot read link", src, n < 0 ? errno : ENAMETOOLONG));
            return;
        }
        target.truncate(n);
        if (symlink(target.constData(), dst.constData()) != 0) {
            fail(errnoText("cannot create link", dst, errno));
            return;
        }
        if (!m_rules.ownsLike(st) && lchown(dst.constData(), st.st_uid, st.st_gid) != 0 && errno != EPERM)
            qCInfo(lcFiles) << "Cannot set owner of link" << QFile::decodeName(dst);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        utimensat(AT_FDCWD, dst.constData(), times, AT_SYMLINK_NOFOLLOW);
        note(src, 'l', st, 0, target);
    }

    void workerLoop()
    {
        std::vector<char> buffer;
        for (;;) {
            Batch batch;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return !m_queue.empty() || m_walkDone || failed(); });
                if (failed() || m_queue.empty())
                    return;
                batch = std::move(m_queue.front());
                m_queue.pop_front();
            }
            copyBatch(batch, buffer);
        }
    }

    void copyBatch(const Batch& batch, std::vector<char>& buffer)
    {
        for (const FileTask& task : batch) {
            if (failed())
                return;
            QString err;
            if (!copyFile(task, buffer, &err)) {
                fail(err);
                return;
            }
        }
    }

    bool copyFile(const FileTask& task, std::vector<char>& buffer, QString* error)
    {
        const int in = open(task.src.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (in < 0) {
            *error = errnoText("cannot read", task.src, errno);
            return false;
        }
        bool modeIsFinal = false;
        const mode_t mode = m_rules.createMode(task.st, &modeIsFinal);
        const int out =
            open(task.dst.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (out < 0) {
            *error = errnoText("cannot create", task.dst, errno);
            close(in);
            return false;
        }
        quint64 copied = 0;
        std::unique_ptr<CopyManifest::Hasher> hasher;
        if (m_control.manifest && m_control.manifest->checksums())
            hasher = std::make_unique<CopyManifest::Hasher>();
        bool ok = copyData(in, out, task, buffer, error, copied, hasher.get()) &&
                  applyMetadata(in, out, task.st, error, task.dst, m_rules.ownsLike(task.st), modeIsFinal);
        if (close(out) != 0 && ok) {
            *error = errnoText("cannot write", task.dst, errno);
            ok = false;
        }
        close(in);
        if (ok)
            note(task.src, 'f', task.st, qint64(copied), {}, hasher ? hasher->result() : QByteArray());
        return ok;
    }

    // hasher, when given, must see every byte: that file is then read through user space.
    bool copyData(int in, int out, const FileTask& task, std::vector<char>& buffer, QString* error,
                  quint64& copied, CopyManifest::Hasher* hasher)
    {
        // The kernel's file copy only works within one file system type; once it refuses, the
        // rest of the copy goes straight to plain reads and writes.
        bool useRange = hasher == nullptr && m_rangeWorks.load(std::memory_order_relaxed);
        for (;;) {
            if (failed())
                return false;
            ssize_t n = -1;
            if (useRange) {
                n = copy_file_range(in, nullptr, out, nullptr, 8 << 20, 0);
                if (n < 0 && errno == EINTR)
                    continue;
                // Some file systems answer 0 before the end (or for files that report no size):
                // let plain reads decide where the file ends, so nothing is copied short.
                if (n == 0 && (copied == 0 || copied < quint64(task.st.st_size))) {
                    useRange = false;
                    continue;
                }
                if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                              errno == EPERM)) {
                    if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP)
                        m_rangeWorks = false;
                    useRange = false;
                    continue;
                }
                if (n < 0) {
                    *error = errnoText("cannot copy", task.src, errno);
                    return false;
                }
            } else {
                // Room for the whole file and the read that finds its end, up to one chunk.
                const size_t want = std::min(kMaxChunk, size_t(std::max<off_t>(task.st.st_size, 0)) + 1);
                if (buffer.size() < want)
                    buffer.resize(std::max(want, std::min(kMaxChunk, size_t(64) << 10)));
                n = read(in, buffer.data(), buffer.size());
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    *error = errnoText("cannot read", task.src, errno);
                    return false;
                }
                for (ssize_t written = 0; written < n;) {
                    const ssize_t w = write(out, buffer.data() + written, size_t(n - written));
                    if (w < 0 && errno == EINTR)
                        continue;
                    if (w < 0) {
                        *error = errnoText("cannot write", task.dst, errno);
                        return false;
                    }
                    written += w;
                }
                if (hasher && n > 0)
                    hasher->add(buffer.data(), size_t(n));
            }
            if (n == 0)
                return true;
            copied += quint64(n);
            m_control.bytesDone += quint64(n);
        }
    }

    TreeCopier::Control& m_control;
    const CreationRules m_rules;
    qsizetype m_topLength = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Batch> m_queue;
    size_t m_maxQueued = 0;
    bool m_walkDone = false;
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_rangeWorks{true};
    QString m_error;
    std::vector<std::thread> m_workers;
    // The walker's own state.
    Batch m_batch;
    qint64 m_batchBytes = 0;
    std::vector<char> m_walkerBuffer;
    std::vector<std::pair<QByteArray, QByteArray>> m_folders;
    std::map<std::pair<dev_t, ino_t>, QByteArray> m_hardLinks;
    std::vector<std::pair<QByteArray, QByteArray>> m_linksToMake;
};

bool removeAt(int parentFd, const char* name, dev_t device)
{
    struct stat st;
    if (fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return unlinkat(parentFd, name, 0) == 0 || errno == ENOENT;
    if (st.st_dev != device)
        return false; // a mount inside the tree: never reach into it
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
        fchmodat(parentFd, name, st.st_mode | S_IRWXU, 0);
    const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    bool ok = true;
    while (struct dirent* e = readdir(dir)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        ok = removeAt(fd, n, device) && ok;
    }
    closedir(dir);
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0 && ok;
}

QString uniqueSibling(const QString& folder, const QString& name, const char* tag)
{
    for (;;) {
        const QString candidate = QStringLiteral("%1/.%2.%3-%4")
                                      .arg(folder, name, QLatin1String(tag))
                                      .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        struct stat st;
        if (lstat(encoded(candidate).constData(), &st) != 0 && errno == ENOENT)
            return candidate;
    }
}

// True for what holds no user data: a link, an empty folder, an empty file.
bool holdsNoData(const QString& path)
{
    struct stat st;
    if (lstat(encoded(path).constData(), &st) != 0)
        return true;
    if (S_ISLNK(st.st_mode))
        return true;
    if (S_ISREG(st.st_mode))
        return st.st_size == 0;
    if (S_ISDIR(st.st_mode))
        return QDir(path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return false;
}

} // namespace

QStringList TreeCopier::workCopiesOf(const QString& folder, const QString& name)
{
    const QString prefix = QStringLiteral(".%1.zvcopy-").arg(name);
    QStringList found;
    const QDir dir(folder);
    for (const QString& entry :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.startsWith(prefix) && entry.size() == prefix.size() + 8)
            found.append(dir.filePath(entry));
    }
    return found;
}

int TreeCopier::defaultThreads()
{
    return std::clamp(2 * QThread::idealThreadCount(), 2, 8);
}

bool TreeCopier::removeTree(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    struct stat st;
    if (lstat(encoded(clean).constData(), &st) != 0)
        return errno == ENOENT;
    const QFileInfo info(clean);
    const int parent = open(encoded(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return false;
    const bool ok = removeAt(parent, encoded(info.fileName()).constData(), st.st_dev);
    close(parent);
    return ok;
}

TreeCopier::Result TreeCopier::copyInto(const QString& source, const QString& destinationFolder,
                                        Control& control)
{
    Result result;
    const QString src = QDir::cleanPath(QDir(source).absolutePath());
    const QString destFolder = QDir::cleanPath(QDir(destinationFolder).absolutePath());
    const QString name = QFileInfo(src).fileName();
    struct stat srcStat, destStat;
    if (name.isEmpty() || lstat(encoded(src).constData(), &srcStat) != 0) {
        result.error = errnoText("cannot read", encoded(src), name.isEmpty() ? EINVAL : errno);
        return result;
    }
    if (stat(encoded(destFolder).constData(), &destStat) != 0 || !S_ISDIR(destStat.st_mode)) {
        result.error = QStringLiteral("%1 is not a folder").arg(destFolder);
        return result;
    }
    const QString target = destFolder + QLatin1Char('/') + name;
    struct stat targetStat;
    const bool targetExists = lstat(encoded(target).constData(), &targetStat) == 0;
    if (targetExists && targetStat.st_dev == srcStat.st_dev && targetStat.st_ino == srcStat.st_ino) {
        result.error = QStringLiteral("%1 would be copied onto itself").arg(src);
        return result;
    }
    if (S_ISDIR(srcStat.st_mode)) {
        const QString canonicalSrc = QFileInfo(src).canonicalFilePath();
        const QString canonicalDest = QFileInfo(destFolder).canonicalFilePath();
        if (canonicalDest == canonicalSrc || canonicalDest.startsWith(canonicalSrc + QLatin1Char('/'))) {
            result.error = QStringLiteral("%1 cannot be copied into itself").arg(src);
            return result;
        }
    }

    // The copy grows under a name of its own, so a failure removes only what it made (never an
    // item that appeared at the target meanwhile), and it takes the final name only when whole.
    const QString work = uniqueSibling(destFolder, name, "zvcopy");
    Copier copier(control, CreationRules::of(encoded(destFolder), destStat));
    if (!copier.run(encoded(src), encoded(work), srcStat)) {
        result.error = control.cancelled ? QStringLiteral("cancelled") : copier.error();
        removeTree(work);
        return result;
    }
    bool replacing = targetExists;
    if (!replacing) {
        if (::renameat2(AT_FDCWD, encoded(work).constData(), AT_FDCWD, encoded(target).constData(),
                        RENAME_NOREPLACE) == 0) {
            result.ok = true;
            return result;
        }
        if (errno != EEXIST) {
            result.error = errnoText("cannot create", encoded(target), errno);
            removeTree(work);
            return result;
        }
        replacing = true; // something took the name while we copied: replace it like any other
    }
    if (replacing) {
        const QString old = uniqueSibling(destFolder, name, "zvold");
        if (::rename(encoded(target).constData(), encoded(old).constData()) != 0) {
            result.error = errnoText("cannot replace", encoded(target), errno);
            removeTree(work);
            return result;
        }
        if (::rename(encoded(work).constData(), encoded(target).constData()) != 0) {
            result.error = errnoText("cannot replace", encoded(target), errno);
            ::rename(encoded(old).constData(), encoded(target).constData());
            removeTree(work);
            return result;
        }
        // What the copy replaced may be the only copy of somebody's data: only an item that
        // holds none is removed; anything else is kept beside the copy.
        // Removal never recurses: a folder that only looked empty (unreadable, or filled
        // meanwhile) fails rmdir and is kept instead.
        const QByteArray oldPath = encoded(old);
        struct stat oldStat;
        const bool isFolder = lstat(oldPath.constData(), &oldStat) == 0 && S_ISDIR(oldStat.st_mode);
        const bool removed = holdsNoData(old) &&
                             (isFolder ? ::rmdir(oldPath.constData()) : ::unlink(oldPath.constData())) == 0;
        if (!removed) {
            const QString kept = SetAside::moveAside(old, target);
            if (!kept.isEmpty())
                qCInfo(lcFiles) << "The replaced item was kept as" << kept;
            else
                qCWarning(lcFiles) << "The replaced item was left at" << old;
        }
    }
    result.ok = true;
    return result;
}

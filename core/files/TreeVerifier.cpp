#include "core/files/TreeVerifier.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QString shown(const QByteArray& path)
{
    return QFile::decodeName(path);
}

bool listFolder(const QByteArray& path, std::vector<std::string>* names)
{
    DIR* dir = opendir(path.constData());
    if (!dir)
        return false;
    while (struct dirent* e = readdir(dir)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        names->emplace_back(n);
    }
    closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

QByteArray linkTarget(const QByteArray& path)
{
    QByteArray target(PATH_MAX + 1, Qt::Uninitialized);
    const ssize_t n = readlink(path.constData(), target.data(), size_t(target.size()));
    return n < 0 ? QByteArray() : target.left(n);
}

// Reads up to size bytes, fewer only at the end of the file; -1 on an error.
ssize_t readFull(int fd, char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

class Comparison
{
public:
    explicit Comparison(const std::atomic<bool>* cancelled) : m_cancelled(cancelled) {}

    bool walk(const QByteArray& a, const QByteArray& b)
    {
        std::vector<std::string> namesA, namesB;
        if (!listFolder(a, &namesA))
            return differ(QStringLiteral("cannot read %1").arg(shown(a)));
        if (!listFolder(b, &namesB))
            return differ(QStringLiteral("cannot read %1").arg(shown(b)));
        if (namesA != namesB) {
            std::vector<std::string> missing;
            std::set_symmetric_difference(namesA.begin(), namesA.end(), namesB.begin(), namesB.end(),
                                          std::back_inserter(missing));
            const QByteArray name = missing.empty() ? QByteArray() : QByteArray(missing.front().c_str());
            return differ(QStringLiteral("%1 is not the same in the copy").arg(shown(a + '/' + name)));
        }
        for (const std::string& name : namesA) {
            if (stopped())
                return false;
            if (!entry(a + '/' + name.c_str(), b + '/' + name.c_str()))
                return false;
        }
        return true;
    }

    bool entry(const QByteArray& a, const QByteArray& b)
    {
        struct stat sa, sb;
        if (lstat(a.constData(), &sa) != 0)
            return differ(QStringLiteral("cannot read %1").arg(shown(a)));
        if (lstat(b.constData(), &sb) != 0)
            return differ(QStringLiteral("cannot read %1").arg(shown(b)));
        if ((sa.st_mode & S_IFMT) != (sb.st_mode & S_IFMT))
            return differ(QStringLiteral("%1 is of another type in the copy").arg(shown(a)));
        if (!S_ISLNK(sa.st_mode) && (sa.st_mode & 07777) != (sb.st_mode & 07777))
            return differ(QStringLiteral("%1 has other permissions in the copy").arg(shown(a)));
        if (S_ISDIR(sa.st_mode))
            return walk(a, b);
        if (S_ISLNK(sa.st_mode)) {
            if (linkTarget(a) != linkTarget(b))
                return differ(QStringLiteral("the link %1 points elsewhere in the copy").arg(shown(a)));
            return true;
        }
        if (S_ISREG(sa.st_mode)) {
            if (sa.st_size != sb.st_size)
                return differ(QStringLiteral("%1 has another size in the copy").arg(shown(a)));
            m_files.emplace_back(a, b);
        }
        return true;
    }

    bool compareContents(int threads)
    {
        std::vector<std::thread> workers;
        for (int i = 0; i < std::max(1, threads); ++i)
            workers.emplace_back([this] {
                std::vector<char> bufferA(1 << 20), bufferB(1 << 20);
                for (size_t next = m_next++; next < m_files.size() && !stopped(); next = m_next++)
                    sameContent(m_files[next].first, m_files[next].second, bufferA, bufferB);
            });
        for (std::thread& worker : workers)
            worker.join();
        return !stopped();
    }

    QString difference() const
    {
        std::lock_guard lock(m_mutex);
        if (m_difference.isEmpty() && m_cancelled && *m_cancelled)
            return QStringLiteral("the check was stopped");
        return m_difference;
    }

private:
    bool stopped() const { return m_failed || (m_cancelled && *m_cancelled); }

    bool differ(const QString& what)
    {
        std::lock_guard lock(m_mutex);
        if (!m_failed.exchange(true))
            m_difference = what;
        return false;
    }

    void sameContent(const QByteArray& a, const QByteArray& b, std::vector<char>& bufferA,
                     std::vector<char>& bufferB)
    {
        const int fa = open(a.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        const int fb = open(b.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fa < 0 || fb < 0) {
            differ(QStringLiteral("cannot read %1").arg(shown(fa < 0 ? a : b)));
        } else {
            for (;;) {
                if (stopped())
                    break;
                const ssize_t na = readFull(fa, bufferA.data(), bufferA.size());
                const ssize_t nb = readFull(fb, bufferB.data(), bufferB.size());
                if (na < 0 || nb < 0) {
                    differ(QStringLiteral("cannot read %1").arg(shown(na < 0 ? a : b)));
                    break;
                }
                if (na != nb || std::memcmp(bufferA.data(), bufferB.data(), size_t(na)) != 0) {
                    differ(QStringLiteral("the contents of %1 differ in the copy").arg(shown(a)));
                    break;
                }
                if (na == 0)
                    break;
            }
        }
        if (fa >= 0)
            close(fa);
        if (fb >= 0)
            close(fb);
    }

    const std::atomic<bool>* m_cancelled;
    std::vector<std::pair<QByteArray, QByteArray>> m_files;
    std::atomic<size_t> m_next{0};
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_mutex;
    QString m_difference;
};

} // namespace

TreeVerifier::Result TreeVerifier::compare(const QString& original, const QString& copy,
                                           const std::atomic<bool>* cancelled, int threads)
{
    Comparison comparison(cancelled);
    Result result;
    result.same = comparison.entry(QFile::encodeName(original), QFile::encodeName(copy)) &&
                  comparison.compareContents(threads);
    if (!result.same)
        result.difference = comparison.difference();
    return result;
}

bool TreeVerifier::syncFileSystem(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = syncfs(fd) == 0;
    close(fd);
    return ok;
}

#include "core/files/CopyManifest.h"

#include <QFile>
#include <QList>
#include <QSet>
#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QString shown(const QString& top, const QByteArray& relative)
{
    return top + QFile::decodeName(relative);
}

class OriginalWalk
{
public:
    OriginalWalk(const CopyManifest& manifest, const QString& top, const std::atomic<bool>* cancelled)
        : m_manifest(manifest), m_top(top), m_cancelled(cancelled)
    {}

    CopyManifest::Result run()
    {
        visit(QFile::encodeName(m_top), QByteArray());
        if (m_result.difference.isEmpty() && m_seen != m_manifest.size())
            m_result.difference = QStringLiteral("an item of %1 was removed while it was copied").arg(m_top);
        m_result.same = m_result.difference.isEmpty();
        return m_result;
    }

private:
    bool failed() const { return !m_result.difference.isEmpty() || (m_cancelled && m_cancelled->load()); }

    void differ(const QByteArray& relative, const char* what)
    {
        if (m_result.difference.isEmpty())
            m_result.difference = QStringLiteral("%1 %2").arg(shown(m_top, relative), QLatin1String(what));
    }

    void visit(const QByteArray& path, const QByteArray& relative)
    {
        if (failed())
            return;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            return differ(relative, "can no longer be read");
        char type = 0;
        if (S_ISDIR(st.st_mode))
            type = 'd';
        else if (S_ISREG(st.st_mode))
            type = 'f';
        else if (S_ISLNK(st.st_mode))
            type = 'l';
        else if (S_ISFIFO(st.st_mode))
            type = 'p';
        else
            return; // sockets and devices are not copied
        ++m_seen;
        const CopyManifest::Entry written = m_manifest.entry(relative);
        if (written.type == 0)
            return differ(relative, "appeared while it was copied");
        if (written.type != type)
            return differ(relative, "changed its type while it was copied");
        if (type != 'l' && written.mode != (st.st_mode & 07777))
            return differ(relative, "has other permissions in the copy");
        if (type == 'f' && written.size != st.st_size)
            return differ(relative, "changed its size while it was copied");
        if (written.mtimeSeconds != st.st_mtim.tv_sec || written.mtimeNanoseconds != st.st_mtim.tv_nsec)
            return differ(relative, "changed while it was copied");
        if (type == 'l') {
            QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, Qt::Uninitialized);
            const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
            if (n < 0 || n >= target.size() || target.left(n) != written.linkTarget)
                return differ(relative, "points elsewhere in the copy");
        }
        if (type != 'd')
            return;
        DIR* dir = ::opendir(path.constData());
        if (!dir)
            return differ(relative, "can no longer be read");
        errno = 0;
        while (const dirent* e = ::readdir(dir)) {
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            visit(path + '/' + name, relative + '/' + name);
            if (failed())
                break;
            errno = 0;
        }
        if (errno != 0)
            differ(relative, "can no longer be read");
        ::closedir(dir);
    }

    const CopyManifest& m_manifest;
    QString m_top;
    const std::atomic<bool>* m_cancelled;
    CopyManifest::Result m_result;
    qsizetype m_seen = 0;
};

} // namespace

CopyManifest::Hasher::Hasher() : m_context(EVP_MD_CTX_new())
{
    EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(m_context), EVP_sha256(), nullptr);
}

CopyManifest::Hasher::~Hasher()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_context));
}

void CopyManifest::Hasher::add(const char* data, size_t size)
{
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_context), data, size);
}

QByteArray CopyManifest::Hasher::result()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_context), digest, &length);
    return QByteArray(reinterpret_cast<const char*>(digest), int(length));
}

void CopyManifest::record(const QByteArray& relativePath, const Entry& entry)
{
    std::lock_guard lock(m_mutex);
    m_entries.insert(relativePath, entry);
}

qsizetype CopyManifest::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

CopyManifest::Entry CopyManifest::entry(const QByteArray& relativePath) const
{
    std::lock_guard lock(m_mutex);
    return m_entries.value(relativePath);
}

CopyManifest::Result CopyManifest::compareWithOriginal(const QString& original,
                                                       const std::atomic<bool>* cancelled) const
{
    Result result = OriginalWalk(*this, original, cancelled).run();
    if (result.same && cancelled && cancelled->load())
        result = {false, QStringLiteral("the check was cancelled")};
    return result;
}

CopyManifest::Result CopyManifest::readBack(const QString& copy, const std::atomic<bool>* cancelled,
                                            int threads) const
{
    QList<QPair<QByteArray, QByteArray>> files; // relative path, checksum
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
            if (it->type == 'f' && !it->checksum.isEmpty())
                files.append({it.key(), it->checksum});
    }
    const QByteArray top = QFile::encodeName(copy);
    std::atomic<qsizetype> next{0};
    std::mutex mutex;
    Result result{true, {}};
    const auto differ = [&](const QByteArray& relative, const char* what) {
        std::lock_guard lock(mutex);
        if (result.same)
            result = {false, QStringLiteral("%1 %2").arg(shown(copy, relative), QLatin1String(what))};
    };
    const auto work = [&] {
        std::vector<char> buffer(1 << 20);
        for (qsizetype i = next++; i < files.size(); i = next++) {
            {
                std::lock_guard lock(mutex);
                if (!result.same)
                    return;
            }
            if (cancelled && cancelled->load())
                return differ({}, "was not checked to its end");
            const int fd = ::open((top + files.at(i).first).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) {
                differ(files.at(i).first, "can't be read back");
                continue;
            }
            Hasher hasher;
            ssize_t n = 0;
            while ((n = ::read(fd, buffer.data(), buffer.size())) > 0)
                hasher.add(buffer.data(), size_t(n));
            ::close(fd);
            if (n < 0)
                differ(files.at(i).first, "can't be read back");
            else if (hasher.result() != files.at(i).second)
                differ(files.at(i).first, "holds other bytes in the copy");
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < std::max(1, threads); ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    return result;
}

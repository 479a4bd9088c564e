#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

// What a copy wrote, entry by entry, collected while it copies (TreeCopier::Control::manifest):
// the copy's side of the check that runs before an original is given up. Comparing it with the
// original as it is afterwards catches a file that changed, appeared or vanished meanwhile,
// without walking the copy through a slow (encrypted) file system. With checksums on, every
// file's content is hashed as it is read, and readBack compares those hashes with what the copy
// holds on the disk.
class CopyManifest
{
public:
    struct Entry
    {
        char type = 0;    // 'd' folder, 'f' file, 'l' link, 'p' named pipe
        quint32 mode = 0; // permission bits
        qint64 size = 0;  // bytes written (files)
        qint64 mtimeSeconds = 0;
        qint64 mtimeNanoseconds = 0;
        QByteArray linkTarget;
        QByteArray checksum; // files, with checksums on (a second name of a hard link has none)
    };
    struct Result
    {
        bool same = false;
        QString difference; // the first difference found, for the log
    };

    // SHA-256 of a stream of bytes.
    class Hasher
    {
    public:
        Hasher();
        ~Hasher();
        Hasher(const Hasher&) = delete;
        Hasher& operator=(const Hasher&) = delete;
        void add(const char* data, size_t size);
        QByteArray result();

    private:
        void* m_context;
    };

    explicit CopyManifest(bool checksums = false) : m_checksums(checksums) {}

    bool checksums() const { return m_checksums; }
    // The top item is "", the others "/relative/path". Called by the copy's threads.
    void record(const QByteArray& relativePath, const Entry& entry);
    qsizetype size() const;
    Entry entry(const QByteArray& relativePath) const;

    // Walks the original (never following links) and compares each entry with what was written:
    // names, types, permission bits, sizes, link targets and modification times.
    Result compareWithOriginal(const QString& original, const std::atomic<bool>* cancelled = nullptr) const;
    // Reads every file of the copy back and compares its checksum with the one taken while
    // copying. Only meaningful with checksums on.
    Result readBack(const QString& copy, const std::atomic<bool>* cancelled = nullptr, int threads = 4) const;

private:
    bool m_checksums = false;
    mutable std::mutex m_mutex;
    QHash<QByteArray, Entry> m_entries;
};

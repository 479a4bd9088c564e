#pragma once

#include <QString>
#include <atomic>

// The size of a file or folder tree, walked by several threads at once. On a vault's mount every
// look-up is a round trip to the encryption engine; with several in flight a large tree is
// measured in a fraction of the time one thread needs.
class TreeSize
{
public:
    enum class Count
    {
        RegularFiles,        // logical sizes of regular files; links and folders add nothing
        EverythingButFolders // every entry that is not a folder, links as the length of their text
    };
    static constexpr int kThreads = 4;

    // Lets a caller watch a long walk and end it early. A cancelled walk stops reading folders
    // at once and answers what it had counted.
    struct Progress
    {
        const std::atomic<bool>* cancelled = nullptr;
        std::atomic<quint64>* files = nullptr; // entries counted so far (not folders)
        std::atomic<quint64>* bytes = nullptr;
    };

    // A final link on path is followed; nothing below it is. A file is its own size; a path that
    // can't be read, and an unreadable folder below it, add 0.
    static quint64 measure(const QString& path, Count count = Count::RegularFiles, int threads = kThreads);
    static quint64 measure(const QString& path, Count count, int threads, const Progress& progress);
};

#pragma once

#include <QString>

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

    // A final link on path is followed; nothing below it is. A file is its own size; a path that
    // can't be read, and an unreadable folder below it, add 0.
    static quint64 measure(const QString& path, Count count = Count::RegularFiles, int threads = kThreads);
};

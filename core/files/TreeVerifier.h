#pragma once

#include <QString>
#include <atomic>

// Checks that a copy holds exactly what its original holds, before the original is given up:
// the same names, types, permission bits, sizes, link targets and file contents, entry by entry,
// without following links. A file system that can't hold the tree exactly (no links, no
// permission bits, names folded to one case) therefore fails the check.
class TreeVerifier
{
public:
    struct Result
    {
        bool same = false;
        QString difference; // the first difference found, for the user and the log
    };

    // Contents are compared by several threads; cancelled (may be null) stops the check early,
    // which then reports a difference.
    static Result compare(const QString& original, const QString& copy,
                          const std::atomic<bool>* cancelled = nullptr, int threads = 4);
    // Writes back what the file system holding path still has in memory, so a check that follows
    // reads what is on the disk and a later step can't overtake the data.
    static bool syncFileSystem(const QString& path);
};

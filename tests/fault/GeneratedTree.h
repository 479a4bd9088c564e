#pragma once

#include <QRandomGenerator>
#include <QString>

// A user's folder as fault tests need it: a few hundred entries of mixed sizes (empty files,
// small ones, a few of megabytes), nested folders, relative and dangling links, a hard link, a
// named pipe, odd permission bits (read-only files and folders, executables) and names in other
// scripts, with spaces, a leading dash and 200 bytes long. The same seed gives the same tree.
class GeneratedTree
{
public:
    // Builds the tree at root (which must not exist); false with a warning when it can't.
    static bool build(const QString& root, QRandomGenerator& random, int files = 300);
    // One file of the given size with content derived from the seed.
    static bool writeFile(const QString& path, qint64 size, QRandomGenerator& random);
    // Appends to a file (through a link, as an editor would); false when it is gone.
    static bool change(const QString& path);
};

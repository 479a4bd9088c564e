#pragma once

#include <QString>
#include <QStringList>
#include <atomic>

class CopyManifest;

// Copies one file, folder tree or symbolic link into an existing folder under its own name.
//
// - Symbolic links are recreated as links (never followed, so nothing outside the tree is read);
//   permissions, ownership where allowed, timestamps, extended attributes and hard links within
//   the tree are kept.
// - Regular files are copied by several threads at once, each taking a batch of files from one
//   folder: copies into and out of FUSE mounts are bound by round trips to the engine, and the
//   engine needs the cores too (see defaultThreads). Calls that would change nothing are left
//   out (a new file is created with its final mode when the umask allows it; no owner change
//   for files that are already ours).
// - An item of the same name already in the folder is replaced, but only once the new copy is
//   complete; until then it stays untouched.
// - Any file that cannot be read or written fails the whole copy: a copy that misses data must
//   never look complete, because callers move the original away afterwards. Whatever this copy
//   created is removed again on failure; the source is never modified.
class TreeCopier
{
public:
    struct Control
    {
        std::atomic<quint64> bytesDone{0};
        std::atomic<bool> cancelled{false};
        int threads = defaultThreads();
        // Filled with what the copy writes, entry by entry (and the files' checksums when it
        // asks for them), for the check before an original is given up. May be null.
        CopyManifest* manifest = nullptr;
    };
    struct Result
    {
        bool ok = false;
        QString error;
    };

    static Result copyInto(const QString& source, const QString& destinationFolder, Control& control);
    // The hidden names a copy of an item called name grows under in folder, left behind only by a
    // copy that was cut off (the program killed).
    static QStringList workCopiesOf(const QString& folder, const QString& name);

    // Two copying threads per core, between 2 and 8. Measured with `bench_files --sweep` on two
    // cores: one thread is no faster than cp -a, three to four are more than twice as fast,
    // and more only add waiting.
    static int defaultThreads();

    // Removes a tree without following links or leaving its file system; read-only folders are
    // made writable first. Only for trees this program made itself.
    static bool removeTree(const QString& path);
};

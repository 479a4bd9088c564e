#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file so that a reader in another process sees either the whole old content or
// the whole new content: temporary file in the same folder, fsync, rename, fsync of the folder.
class AtomicFile
{
public:
    // mode applies to the new file (the temporary file is created with it, so the content is
    // never readable with wider permissions). Returns false and fills error on any failure;
    // the previous file is then untouched.
    static bool write(const QString& path, const QByteArray& data, QString* error = nullptr, int mode = 0644);
};

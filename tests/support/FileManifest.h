#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// What a user would call their data: every entry below a root with its kind, permission bits,
// link target and the SHA-256 of its content. Kill and fault tests record it before a flow runs
// and compare it wherever the data ends up.
class FileManifest
{
public:
    struct Entry
    {
        char type = '?'; // 'd' folder, 'f' file, 'l' link, 'p' pipe
        unsigned mode = 0;
        qint64 size = 0;
        QByteArray sha256; // hex, files only
        QString target;    // links only, as written

        bool operator==(const Entry&) const = default;
        QString describe() const;
    };

    // The root itself is the entry "" (a file, a folder, or a link recorded as the link).
    static FileManifest of(const QString& root);

    bool isEmpty() const { return m_entries.isEmpty(); }
    int size() const { return int(m_entries.size()); }
    const QMap<QString, Entry>& entries() const { return m_entries; }
    // Relative paths of the regular files, for picking one to change or delete.
    QStringList files() const;

    void remove(const QString& relative) { m_entries.remove(relative); }
    void set(const QString& relative, const Entry& entry) { m_entries.insert(relative, entry); }

    // What is missing from or different in actual, one line each ("" when whole). Entries of
    // actual that this manifest lacks are extras, not losses, and are not listed.
    QStringList missingFrom(const FileManifest& actual, int maxLines = 8) const;

private:
    QMap<QString, Entry> m_entries;
};

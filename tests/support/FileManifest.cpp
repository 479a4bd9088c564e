#include "tests/support/FileManifest.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool entryOf(const QString& path, FileManifest::Entry* entry)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0)
        return false;
    entry->mode = st.st_mode & 07777;
    if (S_ISDIR(st.st_mode)) {
        entry->type = 'd';
    } else if (S_ISLNK(st.st_mode)) {
        entry->type = 'l';
        char target[4096];
        const ssize_t n = ::readlink(name.constData(), target, sizeof target);
        entry->target = QFile::decodeName(QByteArray(target, n > 0 ? int(n) : 0));
        entry->mode = 0; // a link's own bits mean nothing on Linux
    } else if (S_ISREG(st.st_mode)) {
        entry->type = 'f';
        entry->size = st.st_size;
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
            entry->sha256 = "unreadable";
        else
            entry->sha256 = hash.result().toHex();
    } else if (S_ISFIFO(st.st_mode)) {
        entry->type = 'p';
    }
    return true;
}

} // namespace

QString FileManifest::Entry::describe() const
{
    QString text = QStringLiteral("%1 %2").arg(QLatin1Char(type)).arg(mode, 4, 8, QLatin1Char('0'));
    if (type == 'f')
        text += QStringLiteral(" %1 bytes %2").arg(size).arg(QString::fromLatin1(sha256.left(12)));
    if (type == 'l')
        text += QStringLiteral(" -> ") + target;
    return text;
}

FileManifest FileManifest::of(const QString& root)
{
    FileManifest manifest;
    Entry top;
    if (!entryOf(root, &top))
        return manifest;
    manifest.m_entries.insert(QString(), top);
    if (top.type != 'd')
        return manifest;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        Entry entry;
        if (entryOf(path, &entry))
            manifest.m_entries.insert(path.mid(root.size() + 1), entry);
    }
    return manifest;
}

QStringList FileManifest::files() const
{
    QStringList out;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        if (it->type == 'f')
            out.append(it.key());
    return out;
}

QStringList FileManifest::missingFrom(const FileManifest& actual, int maxLines) const
{
    QStringList lines;
    int more = 0;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        const auto found = actual.m_entries.constFind(it.key());
        QString line;
        if (found == actual.m_entries.cend())
            line = QStringLiteral("missing /%1 (%2)").arg(it.key(), it->describe());
        else if (!(*found == *it))
            line = QStringLiteral("changed /%1: %2, was %3").arg(it.key(), found->describe(), it->describe());
        if (line.isEmpty())
            continue;
        if (lines.size() < maxLines)
            lines.append(line);
        else
            ++more;
    }
    if (more)
        lines.append(QStringLiteral("and %1 more").arg(more));
    return lines;
}

#include "core/vault/MountTable.h"

#include <QDir>
#include <QFile>
#include <sys/sysmacros.h>

QString MountTable::unescape(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out.append(char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return QFile::decodeName(out);
}

QList<MountEntry> MountTable::parse(const QByteArray& mountInfo)
{
    QList<MountEntry> entries;
    for (const QByteArray& line : mountInfo.split('\n')) {
        // id parent major:minor root mount-point options [optional fields...] - fstype source super-options
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf(QByteArray("-"));
        if (fields.size() < 6 || dash < 6 || dash + 2 >= fields.size())
            continue;
        MountEntry e;
        const QList<QByteArray> majorMinor = fields[2].split(':');
        if (majorMinor.size() == 2)
            e.device = makedev(majorMinor[0].toUInt(), majorMinor[1].toUInt());
        e.root = unescape(fields[3]);
        e.mountPoint = unescape(fields[4]);
        e.options = QString::fromLatin1(fields[5]);
        e.fsType = unescape(fields[dash + 1]);
        e.source = unescape(fields[dash + 2]);
        entries.append(e);
    }
    return entries;
}

QList<MountEntry> MountTable::read(const QString& mountInfoPath)
{
    QFile file(mountInfoPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // /proc files report size 0: read until the end.
    return parse(file.readAll());
}

std::optional<MountEntry> MountTable::mountContaining(const QString& path, const QList<MountEntry>& mounts)
{
    const QString clean = QDir::cleanPath(path);
    std::optional<MountEntry> best;
    for (const MountEntry& e : mounts) {
        const bool inside = clean == e.mountPoint || e.mountPoint == QStringLiteral("/") ||
                            clean.startsWith(e.mountPoint + QLatin1Char('/'));
        // Later lines win for the same mount point: they are mounted on top.
        if (inside && (!best || e.mountPoint.size() >= best->mountPoint.size()))
            best = e;
    }
    return best;
}

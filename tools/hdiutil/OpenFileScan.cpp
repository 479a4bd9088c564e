#include "tools/hdiutil/OpenFileScan.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <unistd.h>

namespace {

bool isBelow(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

bool linkIsBelow(const QString& link, const QString& folder)
{
    // Unlinked files read back as "<path> (deleted)": the folder still holds them.
    QString target = QFile::symLinkTarget(link);
    if (target.endsWith(QStringLiteral(" (deleted)")))
        target.chop(10);
    return !target.isEmpty() && isBelow(target, folder);
}

bool mapsBelow(const QString& mapsPath, const QString& folder)
{
    QFile maps(mapsPath);
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    const QByteArray needle = QFile::encodeName(folder + QLatin1Char('/'));
    return maps.readAll().contains(needle);
}

} // namespace

QList<FolderUser> OpenFileScan::usersOf(const QString& folder, const QString& procRoot)
{
    const QString clean = QDir::cleanPath(folder);
    const qint64 self = ::getpid();
    QList<FolderUser> users;
    const QStringList pids = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : pids) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == self)
            continue;
        const QString base = procRoot + QLatin1Char('/') + entry;
        bool uses = linkIsBelow(base + QStringLiteral("/cwd"), clean) ||
                    linkIsBelow(base + QStringLiteral("/root"), clean);
        if (!uses) {
            const QDir fds(base + QStringLiteral("/fd"));
            for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
                if (linkIsBelow(fds.filePath(fd), clean)) {
                    uses = true;
                    break;
                }
            }
        }
        if (!uses)
            uses = mapsBelow(base + QStringLiteral("/maps"), clean);
        if (!uses)
            continue;
        QFile comm(base + QStringLiteral("/comm"));
        QString name =
            comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll().trimmed()) : QString();
        users.append({pid, name.isEmpty() ? QStringLiteral("?") : name});
    }
    return users;
}

QString OpenFileScan::describe(const QList<FolderUser>& users)
{
    QStringList parts;
    for (const FolderUser& u : users)
        parts.append(QStringLiteral("%1 (pid %2)").arg(u.name).arg(u.pid));
    return parts.join(QStringLiteral(", "));
}

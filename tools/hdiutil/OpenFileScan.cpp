#include "tools/hdiutil/OpenFileScan.h"

#include "core/processes/ProcTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <unistd.h>

namespace {

bool linkIsBelow(const QString& link, const QString& folder)
{
    // Unlinked files read back as "<path> (deleted)": the folder still holds them.
    QString target = QFile::symLinkTarget(link);
    if (target.endsWith(QStringLiteral(" (deleted)")))
        target.chop(10);
    return !target.isEmpty() && (target == folder || target.startsWith(folder + QLatin1Char('/')));
}

} // namespace

QList<FolderUser> OpenFileScan::usersOf(const QString& folder, const QString& procRoot)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QString clean = canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
    const QByteArray encoded = QFile::encodeName(clean);
    const qint64 self = ::getpid();
    const ProcTable table(procRoot);
    QList<FolderUser> users;
    for (qint64 pid : table.pids()) {
        if (pid == self)
            continue;
        // The working folder, open files and mapped files are the shared scan's; a process
        // confined below the folder (its root) counts too.
        if (!table.holdsPathUnder(pid, encoded) &&
            !linkIsBelow(QFile::decodeName(table.pidPath(pid, "root")), clean))
            continue;
        QFile comm(QFile::decodeName(table.pidPath(pid, "comm")));
        const QString name =
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

#include "tools/hdiutil/OpenFileScan.h"

#include "core/processes/FolderHolders.h"
#include "core/processes/ProcTable.h"

#include <QFile>
#include <QStringList>
#include <unistd.h>

QList<FolderUser> OpenFileScan::usersOf(const QString& folder, const QString& procRoot)
{
    const ProcTable table(procRoot);
    QList<FolderUser> users;
    for (qint64 pid : FolderHolders(folder, procRoot).pids(::getpid())) {
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

#include "core/processes/FlatpakSandbox.h"

#include "core/processes/FlatpakPermissions.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

QString FlatpakSandbox::applicationId(const ProcTable& table, qint64 pid)
{
    return FlatpakPermissions::keyFileValue(QFile::decodeName(table.pidPath(pid, "root/.flatpak-info")),
                                            "Application", "name");
}

QString FlatpakSandbox::sandboxOfData(const QString& dataPath, const QString& home)
{
    const QString base = QDir::cleanPath(home) + QStringLiteral("/.var/app/");
    const QString path = QDir::cleanPath(dataPath);
    if (!path.startsWith(base))
        return {};
    return path.mid(base.size()).section(QLatin1Char('/'), 0, 0);
}

bool FlatpakSandbox::canUseData(const ProcTable& table, qint64 pid, const QString& dataPath,
                                const QString& home)
{
    const QString sandbox = applicationId(table, pid);
    const QString owner = sandboxOfData(dataPath, home);
    if (!owner.isEmpty())
        return sandbox == owner;
    if (sandbox.isEmpty())
        return true;
    // Seen from inside: the place itself, a dangling link included.
    struct stat st;
    const QByteArray inside = table.pidPath(pid, "root") + QFile::encodeName(QDir::cleanPath(dataPath));
    return ::lstat(inside.constData(), &st) == 0;
}

bool FlatpakSandbox::isWrapper(const QString& processName)
{
    static const QStringList wrappers{QStringLiteral("bwrap"), QStringLiteral("flatpak"),
                                      QStringLiteral("flatpak-spawn"), QStringLiteral("flatpak-bwrap")};
    return wrappers.contains(processName, Qt::CaseInsensitive);
}

QStringList FlatpakSandbox::relaunchArguments(const QString& applicationId)
{
    return {QStringLiteral("flatpak"), QStringLiteral("run"), applicationId};
}

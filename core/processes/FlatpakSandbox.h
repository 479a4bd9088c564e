#pragma once

#include "core/processes/ProcTable.h"

#include <QString>
#include <QStringList>

// Which protected data a sandboxed (Flatpak) process can use. A sandbox sees the host only
// through what its permissions expose, and its own data lies under ~/.var/app/<id>.
class FlatpakSandbox
{
public:
    // The application id of the sandbox the process runs in; empty on the host.
    static QString applicationId(const ProcTable& table, qint64 pid);
    // The id whose sandbox data the path lies in (~/.var/app/<id>/…); empty otherwise.
    static QString sandboxOfData(const QString& dataPath, const QString& home);
    // Data under ~/.var/app/<id> is only for the sandbox of <id>; a sandboxed process uses only
    // data it sees inside its sandbox; a host process uses anything else.
    static bool canUseData(const ProcTable& table, qint64 pid, const QString& dataPath, const QString& home);
    // The programs that set up a sandbox are never the application itself.
    static bool isWrapper(const QString& processName);
    // How a sandboxed application is started again.
    static QStringList relaunchArguments(const QString& applicationId);
};

#include "platform/ProcessWatcher.h"

#include "core/processes/ProcTable.h"

QString WatchedProcess::name() const
{
    return applicationPath.isEmpty() ? QString() : ProcTable::applicationName(applicationPath);
}

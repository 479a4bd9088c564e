#pragma once

#include "core/processes/DaemonTable.h"

#include <QString>
#include <functional>

class DistributedNotificationCenter;

// Applies the daemon table's scan rows for one chosen application on the window's thread,
// without freezing it: each wait (a quit's grace time, a command) runs in a local event loop that
// keeps timers and repaints going and holds user input back. Only the user's own processes of
// exactly the named names are asked to quit or stopped.
class ScanDaemonRunner
{
public:
    static constexpr int kCommandTimeoutMs = 15000;

    struct Services
    {
        DistributedNotificationCenter* distributed = nullptr;
        // Removes the login item of that display name; nothing when unset.
        std::function<void(const QString& displayName)> removeLoginItem;
        int quitGraceMs = 3000;
    };
    struct Outcome
    {
        bool refused = false; // a refusal row: nothing is to be protected
        QString title;
        QString text; // "%@" replaced by the application name
    };

    static Outcome run(const DaemonQuery& query, const Services& services);
};

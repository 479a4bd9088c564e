#pragma once

#include "core/processes/DaemonTable.h"

#include <QString>
#include <atomic>

// Applies the daemon table's rows that a copy worker meets (the third Trash attempt, after the
// copy) on the worker's own thread: a quit asks with SIGTERM and waits by polling at most 3 s
// before the stop; nothing here may run on a window's thread.
class DaemonRuleRunner
{
public:
    struct Outcome
    {
        bool jobError = false; // a row says the job fails here
        QString title;
        QString text; // "%@" stands for the application name
    };

    static Outcome runOnWorker(const DaemonQuery& query, const std::atomic<bool>* cancelled = nullptr);
};

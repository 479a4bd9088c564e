#pragma once

#include "platform/ProcessWatcher.h"

#include <QHash>
#include <QList>

// A watcher the test drives: it reports the launches and ends the test tells it to.
class FakeProcessWatcher : public ProcessWatcher
{
public:
    void start() override { started = true; }
    void stop() override { started = false; }
    QList<WatchedProcess> runningApplications() const override { return running; }
    void watchTermination(const WatchedProcess& launch) override { watched.insert(launch.pid, launch); }
    void forgetTermination(qint64 pid) override { watched.remove(pid); }

    void launch(const WatchedProcess& process) { Q_EMIT applicationLaunched(process); }
    // Reports the end of a watched launch; false when nobody watches it.
    bool terminate(qint64 pid)
    {
        if (!watched.contains(pid))
            return false;
        Q_EMIT applicationTerminated(watched.take(pid));
        return true;
    }

    bool started = false;
    QList<WatchedProcess> running;
    QHash<qint64, WatchedProcess> watched;
};

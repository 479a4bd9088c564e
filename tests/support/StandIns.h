#pragma once

#include "platform/ProcessWatcher.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

// Real processes standing in for applications: tests/helpers/proc_holder copied under the
// application's name (the kernel names a process after the file it runs). Everything started
// here, or adopted as started because of the test, is killed when the object goes; nothing
// else is ever signalled.
class StandIns
{
public:
    StandIns();
    ~StandIns();

    QString folder() const { return m_dir.path(); }
    // The copy named name (made on first use).
    QString program(const QString& name);
    // Starts the stand-in; waits for its "ready" line unless told not to (the property "child"
    // then holds the pid of the child a forking stand-in started). Null when it failed.
    QProcess* start(const QString& name, const QStringList& arguments = {QStringLiteral("sleep")},
                    bool waitReady = true, const QProcessEnvironment& environment = {});
    // A process that the code under test started (a relaunch): ended with the others, if it
    // still runs one of these programs.
    void adopt(qint64 pid);
    void stopAll();

    // Whether the process has ended (waiting a while for it); also true when it already had.
    static bool ended(QProcess* process, int timeoutMs = 5000);
    // A live process as the watcher reports it.
    static WatchedProcess describe(qint64 pid);
    // The kernel's state letter of a process ('T' stopped, 'S' sleeping, …); 0 when it is gone.
    static char state(qint64 pid);
    static QByteArrayList arguments(qint64 pid);
    static QByteArrayList environment(qint64 pid);
    // Whether the process has a file below folder open.
    static bool holdsFileUnder(qint64 pid, const QString& folder);

private:
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_children;
    QList<qint64> m_adopted;
};

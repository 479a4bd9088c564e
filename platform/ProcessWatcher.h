#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// One of the user's processes as the watcher saw it.
struct WatchedProcess
{
    qint64 pid = 0;
    qint64 parentPid = 0;
    quint64 startTime = 0;   // tells this process from a later one given the same pid
    QString executable;      // target of /proc/PID/exe
    QString applicationPath; // the executable, or for an interpreter the script it runs

    // The application's name: the last component of its path without the extension.
    QString name() const;
    bool operator==(const WatchedProcess&) const = default;
};
Q_DECLARE_METATYPE(WatchedProcess)

// Launches and terminations of the user's applications. Every new process counts as a launch,
// as does a process that runs another program in its place; a child running its parent's
// program does not. A launch has terminated when its last process is gone.
class ProcessWatcher : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start() = 0;
    virtual void stop() = 0;
    // The applications that were running when watching began (not reported as launches) and
    // that still run: each process whose parent runs another program.
    virtual QList<WatchedProcess> runningApplications() const = 0;
    // From now on the end of this launch is reported once by applicationTerminated, also when
    // it has already ended.
    virtual void watchTermination(const WatchedProcess& launch) = 0;
    // Its end is not reported (the helper ends it itself).
    virtual void forgetTermination(qint64 pid) = 0;

Q_SIGNALS:
    void applicationLaunched(const WatchedProcess& process);
    void applicationTerminated(const WatchedProcess& launch);
};

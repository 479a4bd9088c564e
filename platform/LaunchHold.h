#pragma once

#include "core/processes/ProcTable.h"
#include "platform/DetachedProgram.h"

#include <QList>
#include <memory>

// A launch held stopped: the launched process and its descendants, each stopped with SIGSTOP
// through a pidfd the moment it is found, so no signal can reach a process that merely got the
// same pid later. What the root was started with (program, arguments, folder, environment) is
// read while it is stopped, so it can be started afresh; ending the hold kills the whole tree.
// Dropping a hold without ending it leaves the processes as they are.
class LaunchHold
{
public:
    struct Member
    {
        qint64 pid = 0;
        quint64 startTime = 0;
    };

    ~LaunchHold();
    LaunchHold(const LaunchHold&) = delete;
    LaunchHold& operator=(const LaunchHold&) = delete;

    // Stops the process (if it still is the one started at startTime) and every descendant.
    // Null when it is gone or can't be stopped.
    static std::unique_ptr<LaunchHold> hold(qint64 pid, quint64 startTime,
                                            const QString& procRoot = ProcTable::defaultRoot());
    // Takes over processes an earlier run held: those that still exist with these start times and
    // are stopped. The first one is the root. Null when none is left.
    static std::unique_ptr<LaunchHold> adopt(const QList<Member>& members,
                                             const QString& procRoot = ProcTable::defaultRoot());

    // Stops a process found later whose parent is held; false when it isn't one.
    bool join(qint64 pid, quint64 startTime);
    bool contains(qint64 pid) const;
    QList<Member> members() const;
    qint64 rootPid() const { return m_members.isEmpty() ? 0 : m_members.first().pid; }
    // Whether the launched process still exists (nobody else ended it meanwhile).
    bool isRootAlive() const;
    // How the root was started.
    const LaunchCommand& command() const { return m_command; }

    // SIGKILL to every held process; waits (briefly) until they are gone. Safe to call twice.
    void end();

private:
    struct Held
    {
        qint64 pid;
        quint64 startTime;
        int pidfd;
    };
    explicit LaunchHold(const QString& procRoot) : m_table(procRoot) {}
    bool stop(qint64 pid, quint64 startTime);
    void stopDescendants();
    void waitUntilStopped() const;
    void readCommand();

    ProcTable m_table;
    QList<Held> m_members;
    LaunchCommand m_command;
    bool m_ended = false;
};

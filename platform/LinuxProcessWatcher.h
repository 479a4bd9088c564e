#pragma once

#include "core/processes/ProcTable.h"
#include "platform/ProcessWatcher.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSet>

class QSocketNotifier;
class QTimer;

// Watches /proc. Each tick reads only the directory's entries and compares the pid sets (and
// only when the kernel's last handed-out pid moved); a new pid of the user's is read once
// (owner, stat, exe). Programs run in place of a wrapper
// keep its pid, so the exe of a pid younger than 2 s is read again every tick, and every
// other pid's once a second. A launch's end is its own app-*.scope cgroup reaching
// "populated 0" (inotify on cgroup.events) or, without one, the launched pid and every
// descendant seen being gone (each followed through a pidfd, so a process whose parent never
// reaps it still counts as gone): children that outlive the main process keep it running.
class LinuxProcessWatcher : public ProcessWatcher
{
    Q_OBJECT

public:
    struct Options
    {
        QString procRoot = ProcTable::defaultRoot();
        // Where the unified cgroup hierarchy is mounted; empty: looked up in the mount table.
        QString cgroupRoot;
        int intervalMs = 100;
        // When set, only programs below this folder are reported (a test's own stand-ins).
        QString pathPrefix;
    };

    explicit LinuxProcessWatcher(QObject* parent = nullptr);
    explicit LinuxProcessWatcher(const Options& options, QObject* parent = nullptr);
    ~LinuxProcessWatcher() override;

    void start() override;
    void stop() override;
    QList<WatchedProcess> runningApplications() const override;
    void watchTermination(const WatchedProcess& launch) override;
    void forgetTermination(qint64 pid) override;

    // One look at /proc; the timer calls it every interval.
    void scan();
    // Diagnostics: launches followed to their end, ticks, ticks that read the directory, and
    // the user's new processes read.
    int trackedLaunchCount() const { return int(m_tracked.size()); }
    int tickCount() const { return m_ticks; }
    int directoryReadCount() const { return m_directoryReads; }
    int newProcessCount() const { return m_newProcesses; }

private:
    struct Entry
    {
        qint64 parentPid = 0;
        quint64 startTime = 0;
        QString executable;
        QByteArray exeLink; // the exe link as last read, to compare without decoding
        QString applicationPath;
        qint64 firstSeenMs = 0;
        bool inScope = true;
    };
    struct Tracked
    {
        WatchedProcess launch;
        QSet<qint64> members;
        QByteArray eventsFile; // cgroup.events of the launch's own scope, or empty
        int watch = -1;
    };

    void addProcess(qint64 pid, bool initial, QList<WatchedProcess>* launches);
    void removeProcess(qint64 pid, QList<WatchedProcess>* ended);
    // False when the process has ended.
    bool recheckExecutable(qint64 pid, Entry& entry, QList<WatchedProcess>* launches);
    bool nothingStarted();
    void recheckInTurn(QList<WatchedProcess>* launches, QList<WatchedProcess>* ended);
    bool isLaunch(const Entry& entry) const;
    WatchedProcess toProcess(qint64 pid, const Entry& entry) const;
    QString applicationPathOf(qint64 pid, const QString& executable, const QString& comm) const;
    QList<qint64> descendantsOf(qint64 pid) const;
    void attachScope(qint64 root, Tracked& tracked);
    void followMember(qint64 root, qint64 pid);
    void membersEnded();
    bool scopeIsEmpty(const QByteArray& eventsFile) const;
    void scopeEvents();
    void finish(qint64 root, QList<WatchedProcess>* ended);
    void emitAll(const QList<WatchedProcess>& launches, const QList<WatchedProcess>& ended);

    Options m_options;
    ProcTable m_table;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    bool m_started = false;
    QList<qint64> m_known; // every pid in /proc at the last tick, ascending
    QHash<qint64, Entry> m_own;
    QList<qint64> m_young; // pids first seen less than 2 s ago
    qsizetype m_recheckCursor = 0;
    QHash<qint64, Tracked> m_tracked;       // by the launch's pid
    QHash<qint64, QList<qint64>> m_rootsOf; // member pid → launches it keeps running
    QHash<int, qint64> m_rootOfWatch;       // inotify watch → launch
    int m_procFd = -1;
    int m_loadavgFd = -1;
    QByteArray m_lastPid;
    int m_ticks = 0;
    int m_directoryReads = 0;
    int m_newProcesses = 0;
    int m_inotify = -1;
    QSocketNotifier* m_inotifyNotifier = nullptr;
    QHash<qint64, int> m_memberFds; // member pid → pidfd in the epoll set
    int m_epoll = -1;
    QSocketNotifier* m_epollNotifier = nullptr;
    bool m_livePids = false; // the root is the live /proc, whose pids pidfds can follow
    QByteArray m_ownCgroup;
};

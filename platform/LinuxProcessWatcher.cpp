#include "platform/LinuxProcessWatcher.h"

#include "core/system/Logging.h"
#include "core/vault/MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr qint64 kYoungMs = 2000;
constexpr qint64 kRecheckAllMs = 2000;

QByteArray readFile(const QByteArray& path)
{
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The unified hierarchy's path of a process ("0::/user.slice/…"), or empty.
QByteArray cgroupPathIn(const QByteArray& cgroupFile)
{
    for (const QByteArray& line : readFile(cgroupFile).split('\n')) {
        if (line.startsWith("0::"))
            return line.mid(3);
    }
    return {};
}

QString cgroupMountPoint()
{
    for (const MountEntry& entry : MountTable::read()) {
        if (entry.fsType == QLatin1String("cgroup2"))
            return entry.mountPoint;
    }
    return {};
}

} // namespace

LinuxProcessWatcher::LinuxProcessWatcher(QObject* parent) : LinuxProcessWatcher(Options{}, parent) {}

LinuxProcessWatcher::LinuxProcessWatcher(const Options& options, QObject* parent)
    : ProcessWatcher(parent), m_options(options), m_table(options.procRoot)
{
    qRegisterMetaType<WatchedProcess>();
    if (m_options.cgroupRoot.isEmpty())
        m_options.cgroupRoot = cgroupMountPoint();
    m_ownCgroup = cgroupPathIn("/proc/self/cgroup");
    m_livePids = QFileInfo(m_options.procRoot).canonicalFilePath() == QLatin1String("/proc");
    const QByteArray root = QFile::encodeName(m_options.procRoot);
    m_procFd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // loadavg names the last pid of this process's pid namespace: only a gate when the /proc
    // shown is of that same namespace (where "self" is this process's own pid).
    if (QFile::symLinkTarget(m_options.procRoot + QStringLiteral("/self")).section(QLatin1Char('/'), -1) ==
        QString::number(::getpid()))
        m_loadavgFd = ::open((root + "/loadavg").constData(), O_RDONLY | O_CLOEXEC);
    m_timer = new QTimer(this);
    m_timer->setInterval(m_options.intervalMs);
    connect(m_timer, &QTimer::timeout, this, &LinuxProcessWatcher::scan);
    m_clock.start();
}

LinuxProcessWatcher::~LinuxProcessWatcher()
{
    delete m_inotifyNotifier;
    if (m_inotify >= 0)
        ::close(m_inotify);
    for (int fd : {m_procFd, m_loadavgFd}) {
        if (fd >= 0)
            ::close(fd);
    }
    delete m_epollNotifier;
    for (int fd : std::as_const(m_memberFds))
        ::close(fd);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

void LinuxProcessWatcher::start()
{
    if (m_started)
        return;
    m_started = true;
    // What runs now is no launch; only its end may count.
    m_known = m_table.pids();
    for (qint64 pid : std::as_const(m_known))
        addProcess(pid, true, nullptr);
    m_timer->start();
}

void LinuxProcessWatcher::stop()
{
    m_timer->stop();
}

QString LinuxProcessWatcher::applicationPathOf(qint64 pid, const QString& executable,
                                               const QString& comm) const
{
    // An interpreter runs a script: the kernel names the process after the script, so its
    // name is no prefix of the interpreter's. The script is the argument that carries it.
    if (comm.isEmpty() || QFileInfo(executable).fileName().startsWith(comm))
        return executable;
    const QStringList arguments = m_table.arguments(pid);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QLatin1Char('-')) || !QFileInfo(argument).fileName().startsWith(comm))
            continue;
        if (QDir::isAbsolutePath(argument))
            return QDir::cleanPath(argument);
        const QString cwd = QFile::symLinkTarget(QFile::decodeName(m_table.pidPath(pid, "cwd")));
        return cwd.isEmpty() ? argument : QDir::cleanPath(cwd + QLatin1Char('/') + argument);
    }
    return executable;
}

bool LinuxProcessWatcher::isLaunch(const Entry& entry) const
{
    if (!entry.inScope || entry.executable.isEmpty())
        return false;
    const auto parent = m_own.constFind(entry.parentPid);
    return parent == m_own.constEnd() || parent->executable != entry.executable;
}

WatchedProcess LinuxProcessWatcher::toProcess(qint64 pid, const Entry& entry) const
{
    return {pid, entry.parentPid, entry.startTime, entry.executable, entry.applicationPath};
}

void LinuxProcessWatcher::addProcess(qint64 pid, bool initial, QList<WatchedProcess>* launches)
{
    if (!m_table.isOwnProcess(pid))
        return;
    ProcTable::Stat st;
    if (!m_table.readStat(pid, &st) || st.state == 'Z' || st.state == 'X')
        return;
    Entry entry;
    entry.parentPid = st.parentPid;
    entry.startTime = st.startTime;
    entry.firstSeenMs = initial ? -kYoungMs : m_clock.elapsed();
    entry.executable = m_table.executable(pid);
    entry.exeLink = QFile::encodeName(entry.executable);
    if (!entry.executable.isEmpty())
        entry.applicationPath = applicationPathOf(pid, entry.executable, st.comm);
    entry.inScope = m_options.pathPrefix.isEmpty() || entry.applicationPath.startsWith(m_options.pathPrefix);
    const auto inserted = m_own.insert(pid, entry);
    if (!initial)
        ++m_newProcesses;
    if (!initial)
        m_young.append(pid);

    // A child keeps every launch its parent keeps running.
    const QList<qint64> roots = m_rootsOf.value(st.parentPid);
    for (qint64 root : roots)
        followMember(root, pid);
    if (!initial && launches && isLaunch(*inserted))
        launches->append(toProcess(pid, *inserted));
}

void LinuxProcessWatcher::removeProcess(qint64 pid, QList<WatchedProcess>* ended)
{
    m_own.remove(pid);
    if (const auto fd = m_memberFds.constFind(pid); fd != m_memberFds.constEnd()) {
        ::close(*fd); // closing drops it from the epoll set
        m_memberFds.erase(fd);
    }
    const QList<qint64> roots = m_rootsOf.take(pid);
    for (qint64 root : roots) {
        auto tracked = m_tracked.find(root);
        if (tracked == m_tracked.end())
            continue;
        tracked->members.remove(pid);
        // With a scope of its own, the scope alone tells when the launch is over.
        if (tracked->members.isEmpty() && tracked->eventsFile.isEmpty())
            finish(root, ended);
    }
}

bool LinuxProcessWatcher::recheckExecutable(qint64 pid, Entry& entry, QList<WatchedProcess>* launches)
{
    // Every pid, once a second: no allocation unless the program changed.
    char name[32];
    char target[PATH_MAX];
    std::snprintf(name, sizeof name, "%lld/exe", static_cast<long long>(pid));
    const ssize_t n = m_procFd >= 0 ? readlinkat(m_procFd, name, target, sizeof target) : -1;
    if (n < 0 && (errno == ENOENT || errno == ESRCH))
        return false; // it ended
    if (n <= 0 || target[0] != '/')
        return true;
    static constexpr char kDeleted[] = " (deleted)";
    const qsizetype length =
        n > qsizetype(sizeof kDeleted - 1) &&
                std::memcmp(target + n - (sizeof kDeleted - 1), kDeleted, sizeof kDeleted - 1) == 0
            ? n - qsizetype(sizeof kDeleted - 1)
            : n;
    if (entry.exeLink.size() == length && std::memcmp(entry.exeLink.constData(), target, size_t(length)) == 0)
        return true;
    ProcTable::Stat st;
    if (!m_table.readStat(pid, &st))
        return false;
    entry.exeLink = QByteArray(target, length);
    entry.executable = QFile::decodeName(entry.exeLink);
    entry.applicationPath = applicationPathOf(pid, entry.executable, st.comm);
    entry.inScope = m_options.pathPrefix.isEmpty() || entry.applicationPath.startsWith(m_options.pathPrefix);
    if (isLaunch(entry))
        launches->append(toProcess(pid, entry));
    return true;
}

bool LinuxProcessWatcher::nothingStarted()
{
    // The last field of loadavg is the pid the kernel handed out last: while it stays, no process
    // (or thread) was started and the directory needs no reading. Processes that end meanwhile
    // are found by the turns of exe reads (and watched ones by their pidfds).
    if (m_loadavgFd < 0)
        return false;
    char buffer[128];
    const ssize_t n = pread(m_loadavgFd, buffer, sizeof buffer, 0);
    if (n <= 0)
        return false;
    QByteArray lastPid(buffer, n);
    lastPid = lastPid.trimmed();
    lastPid = lastPid.mid(lastPid.lastIndexOf(' ') + 1);
    const bool unchanged = lastPid == m_lastPid;
    m_lastPid = lastPid;
    return unchanged;
}

void LinuxProcessWatcher::scan()
{
    QList<WatchedProcess> launches;
    QList<WatchedProcess> ended;
    ++m_ticks;
    if (nothingStarted()) {
        recheckInTurn(&launches, &ended);
        emitAll(launches, ended);
        return;
    }
    ++m_directoryReads;
    const QList<qint64> now = m_table.pids();

    // Both lists are ascending: one merge finds the new and the gone.
    qsizetype i = 0;
    qsizetype j = 0;
    QList<qint64> added;
    while (i < now.size() || j < m_known.size()) {
        if (j >= m_known.size() || (i < now.size() && now[i] < m_known[j])) {
            added.append(now[i++]);
        } else if (i >= now.size() || m_known[j] < now[i]) {
            if (m_own.contains(m_known[j]))
                removeProcess(m_known[j], &ended);
            ++j;
        } else {
            ++i;
            ++j;
        }
    }
    m_known = now;
    // Parents before children: pids mostly grow with time.
    for (qint64 pid : std::as_const(added))
        addProcess(pid, false, &launches);

    recheckInTurn(&launches, &ended);
    emitAll(launches, ended);
}

void LinuxProcessWatcher::recheckInTurn(QList<WatchedProcess>* launches, QList<WatchedProcess>* ended)
{
    // Programs run in place of the one started keep the pid: young pids every tick, the rest
    // in turns so that each is looked at about every 2 s.
    const qint64 nowMs = m_clock.elapsed();
    QList<qint64> gone;
    for (qsizetype k = 0; k < m_young.size();) {
        auto entry = m_own.find(m_young[k]);
        if (entry == m_own.end() || nowMs - entry->firstSeenMs >= kYoungMs) {
            m_young.removeAt(k);
            continue;
        }
        if (!recheckExecutable(m_young[k], *entry, launches))
            gone.append(m_young[k]);
        ++k;
    }
    if (!m_known.isEmpty()) {
        const qsizetype ticksPerRound = qMax<qsizetype>(1, kRecheckAllMs / qMax(1, m_options.intervalMs));
        const qsizetype share = (m_known.size() + ticksPerRound - 1) / ticksPerRound;
        for (qsizetype n = 0; n < share; ++n) {
            m_recheckCursor = (m_recheckCursor + 1) % m_known.size();
            const qint64 pid = m_known[m_recheckCursor];
            auto entry = m_own.find(pid);
            if (entry != m_own.end() && nowMs - entry->firstSeenMs >= kYoungMs &&
                !recheckExecutable(pid, *entry, launches))
                gone.append(pid);
        }
    }
    // Forgotten from the last listing too, so that a process given the same pid later is new.
    for (qint64 pid : std::as_const(gone)) {
        if (!m_own.contains(pid))
            continue;
        removeProcess(pid, ended);
        const auto at = std::lower_bound(m_known.begin(), m_known.end(), pid);
        if (at != m_known.end() && *at == pid) {
            if (at - m_known.begin() <= m_recheckCursor && m_recheckCursor > 0)
                --m_recheckCursor;
            m_known.erase(at);
        }
    }
}

void LinuxProcessWatcher::emitAll(const QList<WatchedProcess>& launches, const QList<WatchedProcess>& ended)
{
    // Emitted once the tables are consistent: receivers may call back into the watcher.
    for (const WatchedProcess& process : launches)
        Q_EMIT applicationLaunched(process);
    for (const WatchedProcess& launch : ended)
        Q_EMIT applicationTerminated(launch);
}

QList<WatchedProcess> LinuxProcessWatcher::runningApplications() const
{
    QList<WatchedProcess> result;
    for (auto it = m_own.constBegin(); it != m_own.constEnd(); ++it) {
        if (isLaunch(*it))
            result.append(toProcess(it.key(), *it));
    }
    std::sort(result.begin(), result.end(),
              [](const WatchedProcess& a, const WatchedProcess& b) { return a.pid < b.pid; });
    return result;
}

QList<qint64> LinuxProcessWatcher::descendantsOf(qint64 pid) const
{
    QHash<qint64, QList<qint64>> children;
    for (auto it = m_own.constBegin(); it != m_own.constEnd(); ++it)
        children[it->parentPid].append(it.key());
    QList<qint64> result;
    QList<qint64> queue{pid};
    while (!queue.isEmpty()) {
        for (qint64 child : children.value(queue.takeFirst())) {
            result.append(child);
            queue.append(child);
        }
    }
    return result;
}

void LinuxProcessWatcher::watchTermination(const WatchedProcess& launch)
{
    const auto existing = m_tracked.constFind(launch.pid);
    if (existing != m_tracked.constEnd() && existing->launch.startTime == launch.startTime)
        return;
    if (existing != m_tracked.constEnd())
        forgetTermination(launch.pid);

    const auto entry = m_own.constFind(launch.pid);
    if (entry == m_own.constEnd() || entry->startTime != launch.startTime) {
        // Over before it could be followed: it still ended.
        QTimer::singleShot(0, this, [this, launch] { Q_EMIT applicationTerminated(launch); });
        return;
    }
    Tracked& tracked = m_tracked[launch.pid];
    tracked.launch = launch;
    followMember(launch.pid, launch.pid);
    for (qint64 pid : descendantsOf(launch.pid))
        followMember(launch.pid, pid);
    attachScope(launch.pid, tracked);
    if (!tracked.eventsFile.isEmpty() && scopeIsEmpty(tracked.eventsFile)) {
        QList<WatchedProcess> ended;
        finish(launch.pid, &ended);
        QTimer::singleShot(0, this, [this, ended] { emitAll({}, ended); });
    }
}

void LinuxProcessWatcher::followMember(qint64 root, qint64 pid)
{
    auto tracked = m_tracked.find(root);
    if (tracked == m_tracked.end() || tracked->members.contains(pid))
        return;
    tracked->members.insert(pid);
    m_rootsOf[pid].append(root);
    if (!m_livePids || m_memberFds.contains(pid))
        return;
    // A process whose parent never reaps it stays listed as a zombie; its pidfd says it ended.
    if (m_epoll < 0) {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        if (m_epoll < 0)
            return;
        m_epollNotifier = new QSocketNotifier(m_epoll, QSocketNotifier::Read, this);
        connect(m_epollNotifier, &QSocketNotifier::activated, this, &LinuxProcessWatcher::membersEnded);
    }
    const int fd = int(syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (fd < 0)
        return;
    const auto entry = m_own.constFind(pid);
    ProcTable::Stat st;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = quint64(pid);
    if (entry == m_own.constEnd() || !m_table.readStat(pid, &st) || st.startTime != entry->startTime ||
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        ::close(fd);
        return;
    }
    m_memberFds.insert(pid, fd);
}

void LinuxProcessWatcher::membersEnded()
{
    epoll_event events[64];
    QList<WatchedProcess> ended;
    const int n = epoll_wait(m_epoll, events, 64, 0);
    for (int i = 0; i < n; ++i) {
        const qint64 pid = qint64(events[i].data.u64);
        if (m_own.contains(pid))
            removeProcess(pid, &ended);
    }
    emitAll({}, ended);
}

void LinuxProcessWatcher::attachScope(qint64 root, Tracked& tracked)
{
    if (m_options.cgroupRoot.isEmpty())
        return;
    const QByteArray path = cgroupPathIn(m_table.pidPath(root, "cgroup"));
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    // Only a scope the launch has to itself ends with it: not ours, not a terminal's.
    if (path.isEmpty() || path == m_ownCgroup || !name.startsWith("app-") || !name.endsWith(".scope"))
        return;
    const QByteArray folder = QFile::encodeName(m_options.cgroupRoot) + path;
    for (const QByteArray& line : readFile(folder + "/cgroup.procs").split('\n')) {
        if (!line.isEmpty() && !tracked.members.contains(line.toLongLong()))
            return;
    }
    if (m_inotify < 0) {
        m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0)
            return;
        m_inotifyNotifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
        connect(m_inotifyNotifier, &QSocketNotifier::activated, this, &LinuxProcessWatcher::scopeEvents);
    }
    const QByteArray events = folder + "/cgroup.events";
    const int watch = inotify_add_watch(m_inotify, events.constData(), IN_MODIFY);
    if (watch < 0)
        return;
    tracked.eventsFile = events;
    tracked.watch = watch;
    m_rootOfWatch.insert(watch, root);
}

bool LinuxProcessWatcher::scopeIsEmpty(const QByteArray& eventsFile) const
{
    const QByteArray events = readFile(eventsFile);
    // A scope that is gone is empty too.
    return events.isEmpty() || events.contains("populated 0");
}

void LinuxProcessWatcher::scopeEvents()
{
    alignas(inotify_event) char buffer[4096];
    QList<WatchedProcess> ended;
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const qint64 root = m_rootOfWatch.value(event->wd);
            const auto tracked = m_tracked.constFind(root);
            if (root && tracked != m_tracked.constEnd() &&
                ((event->mask & IN_IGNORED) || scopeIsEmpty(tracked->eventsFile)))
                finish(root, &ended);
        }
    }
    emitAll({}, ended);
}

void LinuxProcessWatcher::finish(qint64 root, QList<WatchedProcess>* ended)
{
    const auto tracked = m_tracked.constFind(root);
    if (tracked == m_tracked.constEnd())
        return;
    if (ended)
        ended->append(tracked->launch);
    forgetTermination(root);
}

void LinuxProcessWatcher::forgetTermination(qint64 pid)
{
    const auto tracked = m_tracked.find(pid);
    if (tracked == m_tracked.end())
        return;
    for (qint64 member : std::as_const(tracked->members)) {
        auto roots = m_rootsOf.find(member);
        if (roots == m_rootsOf.end())
            continue;
        roots->removeAll(pid);
        if (!roots->isEmpty())
            continue;
        m_rootsOf.erase(roots);
        if (const auto fd = m_memberFds.constFind(member); fd != m_memberFds.constEnd()) {
            ::close(*fd);
            m_memberFds.erase(fd);
        }
    }
    if (tracked->watch >= 0) {
        inotify_rm_watch(m_inotify, tracked->watch);
        m_rootOfWatch.remove(tracked->watch);
    }
    m_tracked.erase(tracked);
}

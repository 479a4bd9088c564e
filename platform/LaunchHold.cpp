#include "platform/LaunchHold.h"

#include "core/system/Logging.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

int pidfdOpen(qint64 pid)
{
    return int(syscall(SYS_pidfd_open, pid_t(pid), 0));
}

bool pidfdSignal(int pidfd, int signal)
{
    return syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

// A pidfd turns readable when its process has ended.
bool hasEnded(int pidfd, int timeoutMs = 0)
{
    pollfd p{pidfd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

QByteArray readBytes(const QByteArray& path)
{
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray readLink(const QByteArray& path)
{
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlink(path.constData(), buffer, PATH_MAX);
    return n > 0 ? QByteArray(buffer, n) : QByteArray();
}

QByteArrayList zeroSeparated(QByteArray data)
{
    if (data.endsWith('\0'))
        data.chop(1);
    return data.isEmpty() ? QByteArrayList() : data.split('\0');
}

bool isStopped(char state)
{
    return state == 'T' || state == 't';
}

} // namespace

LaunchHold::~LaunchHold()
{
    for (const Held& held : std::as_const(m_members))
        ::close(held.pidfd);
}

std::unique_ptr<LaunchHold> LaunchHold::hold(qint64 pid, quint64 startTime, const QString& procRoot)
{
    std::unique_ptr<LaunchHold> launch(new LaunchHold(procRoot));
    if (!launch->stop(pid, startTime))
        return nullptr;
    launch->stopDescendants();
    launch->readCommand();
    return launch;
}

std::unique_ptr<LaunchHold> LaunchHold::adopt(const QList<Member>& members, const QString& procRoot)
{
    std::unique_ptr<LaunchHold> launch(new LaunchHold(procRoot));
    for (const Member& member : members) {
        const int pidfd = pidfdOpen(member.pid);
        if (pidfd < 0)
            continue;
        ProcTable::Stat st;
        // Only what is still ours: the same process, still stopped.
        if (!launch->m_table.readStat(member.pid, &st) || st.startTime != member.startTime ||
            !isStopped(st.state)) {
            ::close(pidfd);
            continue;
        }
        launch->m_members.append({member.pid, member.startTime, pidfd});
    }
    if (launch->m_members.isEmpty())
        return nullptr;
    if (launch->m_members.first().pid == members.value(0).pid)
        launch->readCommand();
    return launch;
}

bool LaunchHold::stop(qint64 pid, quint64 startTime)
{
    const int pidfd = pidfdOpen(pid);
    if (pidfd < 0)
        return false;
    // The pidfd pins one process; its start time proves it is the one that was seen.
    ProcTable::Stat st;
    if (!m_table.readStat(pid, &st) || (startTime != 0 && st.startTime != startTime) || st.state == 'Z' ||
        !pidfdSignal(pidfd, SIGSTOP)) {
        ::close(pidfd);
        return false;
    }
    m_members.append({pid, st.startTime, pidfd});
    return true;
}

bool LaunchHold::join(qint64 pid, quint64 startTime)
{
    if (m_ended || contains(pid))
        return false;
    ProcTable::Stat st;
    if (!m_table.readStat(pid, &st) || !contains(st.parentPid) || !stop(pid, startTime))
        return false;
    stopDescendants();
    return true;
}

void LaunchHold::waitUntilStopped() const
{
    // A stop is delivered asynchronously; a process that is not yet stopped may still fork.
    QElapsedTimer waited;
    waited.start();
    for (const Held& held : m_members) {
        ProcTable::Stat st;
        while (m_table.readStat(held.pid, &st) && !isStopped(st.state) && st.state != 'Z' &&
               st.state != 'X' && waited.elapsed() < 200)
            QThread::usleep(500);
    }
}

void LaunchHold::stopDescendants()
{
    for (int round = 0; round < 64; ++round) {
        waitUntilStopped();
        QList<QPair<qint64, quint64>> found;
        bool haveChildrenFiles = true;
        for (const Held& held : std::as_const(m_members)) {
            const QString tasks = QFile::decodeName(m_table.pidPath(held.pid, "task"));
            for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QFile children(tasks + QLatin1Char('/') + task + QStringLiteral("/children"));
                if (!children.open(QIODevice::ReadOnly)) {
                    if (!children.exists())
                        haveChildrenFiles = false;
                    continue;
                }
                for (const QByteArray& child : children.readAll().split(' ')) {
                    const qint64 pid = child.trimmed().toLongLong();
                    if (pid > 0 && !contains(pid))
                        found.append({pid, 0});
                }
            }
        }
        if (!haveChildrenFiles) {
            // Kernels without the children lists: the parent pids tell.
            for (qint64 pid : m_table.pids()) {
                ProcTable::Stat st;
                if (!contains(pid) && m_table.readStat(pid, &st) && contains(st.parentPid))
                    found.append({pid, st.startTime});
            }
        }
        bool stoppedMore = false;
        for (const auto& [pid, startTime] : std::as_const(found))
            stoppedMore = stop(pid, startTime) || stoppedMore;
        if (!stoppedMore)
            return;
    }
}

void LaunchHold::readCommand()
{
    const qint64 root = rootPid();
    QByteArray program = readLink(m_table.pidPath(root, "exe"));
    if (program.endsWith(" (deleted)"))
        program.chop(10);
    m_command.program = program;
    m_command.arguments = zeroSeparated(readBytes(m_table.pidPath(root, "cmdline")));
    m_command.workingDirectory = readLink(m_table.pidPath(root, "cwd"));
    m_command.environment = zeroSeparated(readBytes(m_table.pidPath(root, "environ")));
}

bool LaunchHold::contains(qint64 pid) const
{
    for (const Held& held : m_members) {
        if (held.pid == pid)
            return true;
    }
    return false;
}

QList<LaunchHold::Member> LaunchHold::members() const
{
    QList<Member> result;
    for (const Held& held : m_members)
        result.append({held.pid, held.startTime});
    return result;
}

bool LaunchHold::isRootAlive() const
{
    return !m_ended && !m_members.isEmpty() && !hasEnded(m_members.first().pidfd);
}

void LaunchHold::end()
{
    if (m_ended)
        return;
    m_ended = true;
    for (const Held& held : std::as_const(m_members)) {
        if (!pidfdSignal(held.pidfd, SIGKILL) && errno != ESRCH)
            qCWarning(lcPlatform) << "cannot end the held process" << held.pid << qt_error_string(errno);
    }
    // Killed processes go at once; wait for that so a fresh start finds their locks released.
    QElapsedTimer waited;
    waited.start();
    for (const Held& held : std::as_const(m_members))
        hasEnded(held.pidfd, int(qMax<qint64>(0, 1000 - waited.elapsed())));
}

#include "core/processes/DaemonQuitter.h"

#include "core/processes/ProcessInfo.h"
#include "core/system/Logging.h"

#include <QDateTime>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool hasEnded(int pidfd)
{
    pollfd p{pidfd, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

} // namespace

DaemonQuitter::DaemonQuitter(QObject* parent) : QObject(parent), m_poll(new QTimer(this))
{
    m_poll->setInterval(50);
    connect(m_poll, &QTimer::timeout, this, &DaemonQuitter::check);
}

DaemonQuitter::~DaemonQuitter()
{
    release();
}

bool DaemonQuitter::isRunning() const
{
    return m_poll->isActive();
}

void DaemonQuitter::quitNamed(const QStringList& names, int graceMs)
{
    QList<qint64> pids;
    for (const QString& name : names)
        pids << ProcessInfo::pidsByName(name);
    quit(pids, graceMs);
}

void DaemonQuitter::quit(const QList<qint64>& pids, int graceMs)
{
    release();
    const ProcTable table;
    for (qint64 pid : pids) {
        const int pidfd = int(syscall(SYS_pidfd_open, pid_t(pid), 0));
        if (pidfd < 0)
            continue;
        // Opened after the pid was chosen: it must still be one of ours.
        if (!table.isOwnProcess(pid) || syscall(SYS_pidfd_send_signal, pidfd, SIGTERM, nullptr, 0) != 0) {
            ::close(pidfd);
            continue;
        }
        qCInfo(lcProcess) << "asked process" << pid << "to quit";
        m_pidfds.append(pidfd);
    }
    m_deadline = QDateTime::currentMSecsSinceEpoch() + graceMs;
    m_poll->start();
    // Answer from the event loop, never from inside the call.
    QTimer::singleShot(0, this, &DaemonQuitter::check);
}

void DaemonQuitter::check()
{
    if (!m_poll->isActive())
        return;
    const bool allEnded = std::all_of(m_pidfds.cbegin(), m_pidfds.cend(), hasEnded);
    if (!allEnded && QDateTime::currentMSecsSinceEpoch() < m_deadline)
        return;
    m_poll->stop();
    for (int pidfd : std::as_const(m_pidfds)) {
        if (!hasEnded(pidfd)) {
            qCInfo(lcProcess) << "a process did not quit in time; stopping it";
            syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
        }
    }
    release();
    Q_EMIT finished();
}

void DaemonQuitter::release()
{
    for (int pidfd : std::as_const(m_pidfds))
        ::close(pidfd);
    m_pidfds.clear();
}

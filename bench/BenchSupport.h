#pragma once

// Small pieces the benchmark programs share.

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

// One machine-readable line per goal (bench/README.md).
inline void result(const char* name, double figure, const char* unit, const char* goal, bool met)
{
    printf("RESULT\t%s\t%.3g%s\t%s\t%s\n", name, figure, unit, goal, met ? "met" : "missed");
}

// Lets the event loop run (and sleep) for a while.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Orphans of a process namespace come to its first process: reap them.
inline void reapOrphans()
{
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

// The machine is shared: measure in a process table of our own (a new pid namespace, so other
// users' processes make no work for a process watcher) when it can be had. Runs measure there,
// or here when no namespace can be made; returns the exit code. Orphans then come to this
// process (the namespace's first): reapOrphans takes them.
inline int inOwnProcessTable(const std::function<int()>& measure)
{
    static const QString marker = QStringLiteral("--own-process-table");
    if (!QCoreApplication::arguments().contains(marker)) {
        QStringList unshare{QStringLiteral("--pid"), QStringLiteral("--fork"),
                            QStringLiteral("--mount-proc")};
        if (geteuid() != 0)
            unshare << QStringLiteral("--user") << QStringLiteral("--map-root-user");
        unshare << QCoreApplication::applicationFilePath() << marker;
        QProcess inside;
        inside.setProcessChannelMode(QProcess::ForwardedChannels);
        inside.start(QStringLiteral("unshare"), unshare);
        if (inside.waitForFinished(-1) && inside.exitStatus() == QProcess::NormalExit &&
            inside.exitCode() == 0)
            return 0;
        printf("(no process table of its own: other activity on the machine counts as well)\n");
    }
    return measure();
}

// The CPU time another process spends from now on, all its threads together, at the
// scheduler's precision. A thread that ends meanwhile loses what it spent after the start (the
// threads that end while a program idles are pool threads expiring).
class ProcessCpu
{
public:
    explicit ProcessCpu(qint64 pid) : m_pid(pid), m_start(threads(pid)) {}

    // Milliseconds since construction; -1 when the process is gone.
    double elapsedMs() const
    {
        const QHash<QString, double> now = threads(m_pid);
        if (m_start.isEmpty() || now.isEmpty())
            return -1;
        double ms = 0;
        for (auto thread = now.constBegin(); thread != now.constEnd(); ++thread)
            ms += thread.value() - m_start.value(thread.key(), 0);
        return ms;
    }

private:
    static QHash<QString, double> threads(qint64 pid)
    {
        QHash<QString, double> ms;
        const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
        for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile schedstat(tasks + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
            if (schedstat.open(QIODevice::ReadOnly))
                ms.insert(task, schedstat.readAll().split(' ').value(0).toDouble() / 1e6);
        }
        return ms;
    }

    qint64 m_pid;
    QHash<QString, double> m_start;
};

} // namespace bench

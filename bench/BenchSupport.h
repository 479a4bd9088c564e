#pragma once

// Shared by the benchmark programs: timing, child programs, and the result lines that bench/run
// gathers into its closing table (see README.md).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

inline bool quickRun(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            return true;
    }
    return false;
}

template<typename F> double timeMs(F&& work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

inline double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

// Median of repeated timings, in milliseconds.
template<typename F> double medianMs(int rounds, F&& once)
{
    QList<double> times;
    for (int i = 0; i < rounds; ++i)
        times.append(timeMs(once));
    return median(times);
}

// Runs a and b in pairs, alternating which goes first so that a change in the machine's load
// falls on both. Each returns the milliseconds it measured (leaving its own preparation out);
// the result is a's time over b's for each pair, and each(pair, aMs, bMs) sees every pair.
template<typename A, typename B, typename Each>
QList<double> pairedRatios(int pairs, A&& a, B&& b, Each&& each)
{
    QList<double> ratios;
    for (int i = 0; i < pairs; ++i) {
        double aMs = 0, bMs = 0;
        if (i % 2 == 0) {
            aMs = a();
            bMs = b();
        } else {
            bMs = b();
            aMs = a();
        }
        each(i, aMs, bMs);
        ratios.append(aMs / bMs);
    }
    return ratios;
}

// Runs a program to its end; its exit code, or -1 when it could not run or crashed.
inline int runProgram(const QString& program, const QStringList& args, const QByteArray& input = {},
                      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                      QByteArray* output = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForStarted())
        return -1;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const QByteArray out = p.readAllStandardOutput();
    if (output)
        *output = out;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// A file of that many bytes; each 64 KB block differs in its first byte.
inline bool writeFile(const QString& path, qint64 size, char fill)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 16, fill);
    for (qint64 left = size; left > 0; left -= block.size()) {
        block[0] = char(left);
        f.write(block.constData(), std::min<qint64>(left, block.size()));
    }
    return true;
}

// A mail-store-like tree: `files` files of (i * 37) % 3000 bytes, `perFolder` to a folder, named
// <folder>/<folderPrefix>N/<filePrefix>I<suffix>. Written on four threads: on an ext4 that has
// seen many recent deletions a new file can take a millisecond of kernel time, and writing the
// tree is preparation, not what a benchmark measures.
inline void writeSmallFiles(const QString& folder, int files, int perFolder, const QString& folderPrefix,
                            const QString& filePrefix, const QString& suffix, char fill)
{
    constexpr int kWriters = 4;
    const int folders = (files + perFolder - 1) / perFolder;
    const auto writer = [&](int first) {
        for (int d = first; d < folders; d += kWriters) {
            const QString dir = QStringLiteral("%1/%2%3").arg(folder, folderPrefix).arg(d);
            QDir().mkpath(dir);
            for (int i = d * perFolder; i < std::min(files, (d + 1) * perFolder); ++i)
                writeFile(QStringLiteral("%1/%2%3%4").arg(dir, filePrefix).arg(i).arg(suffix),
                          (i * 37) % 3000, fill);
        }
    };
    std::vector<std::thread> writers;
    for (int t = 1; t < kWriters; ++t)
        writers.emplace_back(writer, t);
    writer(0);
    for (std::thread& t : writers)
        t.join();
}

// RESULT<TAB>name<TAB>figure<TAB>goal<TAB>met|missed
inline void result(const QString& name, const QString& figure, const QString& goal, bool met)
{
    std::printf("RESULT\t%s\t%s\t%s\t%s\n", qPrintable(name), qPrintable(figure), qPrintable(goal),
                met ? "met" : "missed");
    std::fflush(stdout);
}

// The same line for a number with its unit.
inline void result(const char* name, double figure, const char* unit, const char* goal, bool met)
{
    result(QString::fromUtf8(name), QString::number(figure, 'g', 3) + QString::fromUtf8(unit),
           QString::fromUtf8(goal), met);
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
        unshare << QCoreApplication::applicationFilePath() << QCoreApplication::arguments().mid(1) << marker;
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

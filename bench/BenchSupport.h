#pragma once

// Shared by the benchmark programs: timing, child programs, and the result lines that bench/run
// gathers into its closing table (see README.md).
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>

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

// RESULT<TAB>name<TAB>figure<TAB>goal<TAB>met|missed
inline void result(const QString& name, const QString& figure, const QString& goal, bool met)
{
    std::printf("RESULT\t%s\t%s\t%s\t%s\n", qPrintable(name), qPrintable(figure), qPrintable(goal),
                met ? "met" : "missed");
    std::fflush(stdout);
}

} // namespace bench

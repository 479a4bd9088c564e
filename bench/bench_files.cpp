// Folder sizes against `du -sb`, the tree copy and the protect job into a gocryptfs vault against
// `cp -a` into the same vault, and the open-file scan against `lsof +c0 -F p <vault>` with a crowd of extra
// processes. Ratios are baseline time / our time: above 1 means we are faster.
//
//   bench_files [--quick] [--sweep] [--only size|copy|protect|scan]
//     --quick   smaller trees and fewer runs
//     --sweep   also time the copy with 1, 2, 3, 4, 6 and 8 threads (how the default was chosen)
//     --only    one of the four benchmarks
#include "bench/BenchSupport.h"
#include "core/files/FileOperation.h"
#include "core/files/TreeCopier.h"
#include "core/processes/FolderHolders.h"
#include "core/processes/ProcessInfo.h"
#include "core/vault/ProtectWork.h"
#include "platform/FreedesktopTrash.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

bool g_quick = false;
// Mapped files of each heavy process in the open-file scan (a browser maps a few thousand).
constexpr int kMappedFiles = 2000;

QString ratioRange(const QList<double>& ratios)
{
    return QStringLiteral("%1 (%2-%3)")
        .arg(median(ratios), 0, 'f', 2)
        .arg(*std::min_element(ratios.begin(), ratios.end()), 0, 'f', 2)
        .arg(*std::max_element(ratios.begin(), ratios.end()), 0, 'f', 2);
}

void benchFolderSize(const QString& base)
{
    const QString tree = base + QStringLiteral("/sizes");
    const int folders = g_quick ? 100 : 1000;
    for (int d = 0; d < folders; ++d) {
        const QString folder = QStringLiteral("%1/d%2/e%3").arg(tree).arg(d % 40).arg(d);
        QDir().mkpath(folder);
        for (int f = 0; f < 100; ++f)
            writeFile(QStringLiteral("%1/f%2").arg(folder).arg(f), (d * 100 + f) % 4000, 'x');
    }
    quint64 ours = 0;
    QList<double> ratios;
    for (int i = 0; i < 5; ++i) {
        const double oursMs = timeMs([&] { ours = FileOperation::fastFolderSizeAtFSRef(tree); });
        const double duMs = timeMs([&] { runProgram(QStringLiteral("du"), {QStringLiteral("-sb"), tree}); });
        ratios.append(duMs / oursMs);
    }
    printf("folder size, %d files (%llu bytes): du -sb / ours per run:", folders * 100,
           static_cast<unsigned long long>(ours));
    for (double r : ratios)
        printf(" %.2f", r);
    printf("\n");
    result(QStringLiteral("folder size vs du -sb (median of 5)"), ratioRange(ratios),
           QStringLiteral(">= 1.0"), median(ratios) >= 1.0);
    TreeCopier::removeTree(tree);
}

// A vault mounted straight with the engine, unmounted when done.
class Vault
{
public:
    explicit Vault(const QString& base)
        : m_cipher(base + QStringLiteral("/cipher")), m_mount(base + QStringLiteral("/mount"))
    {
        QDir().mkpath(m_cipher);
        QDir().mkpath(m_mount);
        const QByteArray pw("bench-password\n");
        m_mounted =
            runProgram(QStringLiteral("gocryptfs"),
                       {QStringLiteral("-q"), QStringLiteral("-init"), QStringLiteral("-scryptn"),
                        QStringLiteral("10"), m_cipher},
                       pw) == 0 &&
            runProgram(QStringLiteral("gocryptfs"), {QStringLiteral("-q"), m_cipher, m_mount}, pw) == 0;
    }
    ~Vault()
    {
        if (m_mounted)
            runProgram(QStringLiteral("fusermount3"), {QStringLiteral("-u"), m_mount});
    }
    bool mounted() const { return m_mounted; }
    QString mountPoint() const { return m_mount; }
    // Writes what earlier copies left behind out to disk, so no run pays for another's.
    void settle() const
    {
        const int fd = open(QFile::encodeName(m_cipher).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            syncfs(fd);
            close(fd);
        }
    }

private:
    QString m_cipher, m_mount;
    bool m_mounted = false;
};

QString makeCopyTree(const QString& base)
{
    // A mixed tree: large media, mail stores of small messages, links.
    const QString tree = base + QStringLiteral("/Library");
    const int photos = g_quick ? 8 : 24;
    const int boxes = g_quick ? 6 : 20;
    QDir().mkpath(tree + QStringLiteral("/Photos"));
    for (int i = 0; i < photos; ++i)
        writeFile(QStringLiteral("%1/Photos/IMG_%2.jpg").arg(tree).arg(i), 6 << 20, char('a' + i));
    for (int box = 0; box < boxes; ++box) {
        const QString folder = QStringLiteral("%1/Mail/box%2/cur").arg(tree).arg(box);
        QDir().mkpath(folder);
        for (int m = 0; m < 200; ++m)
            writeFile(QStringLiteral("%1/%2.eml").arg(folder).arg(m), 2000 + (m * 997) % 20000, 'm');
        QFile::link(QStringLiteral("cur"), QStringLiteral("%1/Mail/box%2/new").arg(tree).arg(box));
    }
    return tree;
}

// One copy of the tree into the vault with cp -a or ours, from a clean and settled vault.
double copyOnce(const QString& tree, const Vault& vault, int threads)
{
    TreeCopier::removeTree(vault.mountPoint() + QStringLiteral("/Library"));
    vault.settle();
    if (threads == 0)
        return timeMs([&] {
            runProgram(QStringLiteral("cp"), {QStringLiteral("-a"), tree, vault.mountPoint()});
        });
    return timeMs([&] {
        TreeCopier::Control control;
        control.threads = threads;
        if (!TreeCopier::copyInto(tree, vault.mountPoint(), control).ok)
            printf("copy failed\n");
    });
}

// Runs of cp -a and ours in pairs, alternating which goes first; cp time / our time per pair.
QList<double> copyRatios(const QString& tree, const Vault& vault, int threads, int pairs)
{
    return pairedRatios(
        pairs, [&] { return copyOnce(tree, vault, 0); }, [&] { return copyOnce(tree, vault, threads); },
        [&](int pair, double cp, double ours) {
            printf("  threads %d, pair %d: cp -a %.0f ms, ours %.0f ms -> %.2f\n", threads, pair + 1, cp,
                   ours, cp / ours);
            fflush(stdout);
        });
}

void benchCopy(const QString& base, const Vault& vault, bool sweep)
{
    const QString tree = makeCopyTree(base);
    const int threads = TreeCopier::Control().threads;
    printf("copy of %s into gocryptfs, default %d threads:\n",
           qPrintable(FileOperation::stringFromFileSize(FileOperation::fastFolderSizeAtFSRef(tree))),
           threads);
    fflush(stdout);
    // Warm both sides equally: the first copy reads the tree into the page cache.
    copyOnce(tree, vault, threads);
    const QList<double> ratios = copyRatios(tree, vault, threads, g_quick ? 3 : 5);
    result(QStringLiteral("copy vs cp -a (median, range of %1)").arg(ratios.size()), ratioRange(ratios),
           QStringLiteral(">= 1.0"), median(ratios) >= 1.0);
    if (sweep) {
        for (int n : {1, 2, 3, 4, 6, 8})
            printf("sweep: %d threads: %s\n", n, qPrintable(ratioRange(copyRatios(tree, vault, n, 3))));
    }
    TreeCopier::removeTree(vault.mountPoint() + QStringLiteral("/Library"));
    TreeCopier::removeTree(tree);
}

// The protect job's file work (copy, check against the original, write-back, Trash, link) into
// the vault against cp -a into it, one run each from a settled vault; the job's fixed 1.0 s wait
// before the Trash step is left out of its time.
void benchProtect(const QString& base, const Vault& vault)
{
    const QString tree = makeCopyTree(base);
    const QString copy = vault.mountPoint() + QStringLiteral("/Library");
    FreedesktopTrash trash;
    const auto cpOnce = [&] {
        return copyOnce(tree, vault, 0);
    };
    const auto protectOnce = [&](bool contentCheck) {
        TreeCopier::removeTree(copy);
        vault.settle();
        ProtectWork::Plan plan;
        plan.item = QStringLiteral("Library");
        plan.place = tree;
        plan.vault = QStringLiteral("Bench");
        plan.mountPoint = vault.mountPoint();
        plan.imagePath = base + QStringLiteral("/cipher");
        plan.verifyContent = contentCheck;
        ProtectWork work(plan, trash.access());
        bool over = false;
        const double ms = timeMs([&] { over = work.begin() && work.run(); });
        work.endJournal();
        if (!over)
            printf("protect failed: %s\n", qPrintable(work.failure()));
        // Back as it was for the next run: the link goes, the original comes out of the Trash.
        QFile::remove(tree);
        trash.restore(trash.findTrashed(tree, QDateTime::currentDateTime().addSecs(-3600)));
        return over ? ms - 1000.0 : -1.0;
    };
    printf("protect of %s into gocryptfs:\n",
           qPrintable(FileOperation::stringFromFileSize(FileOperation::fastFolderSizeAtFSRef(tree))));
    copyOnce(tree, vault, TreeCopier::Control().threads); // warm the page cache for both
    const double cp1 = cpOnce();
    const double checked = protectOnce(false);
    const double cp2 = cpOnce();
    const double contents = protectOnce(true);
    printf("  cp -a %.0f ms, protect %.0f ms -> %.2f; cp -a %.0f ms, with content check %.0f ms -> %.2f "
           "(1.0 s wait left out)\n",
           cp1, checked, cp1 / checked, cp2, contents, cp2 / contents);
    const bool ran = checked > 0 && contents > 0;
    result(QStringLiteral("protect vs cp -a (verified, 1.0 s wait left out)"),
           ran ? QString::number(cp1 / checked, 'f', 2) : QStringLiteral("failed"), QStringLiteral(">= 1.0"),
           ran && cp1 / checked >= 1.0);
    result(QStringLiteral("protect with content check vs cp -a"),
           ran ? QString::number(cp2 / contents, 'f', 2) : QStringLiteral("failed"), QStringLiteral("report"),
           ran);
    TreeCopier::removeTree(copy);
    TreeCopier::removeTree(tree);
}

// Extra processes for the scan: ordinary small ones (an idle program), and some with many mapped
// files, as a browser or a mail program has.
class Crowd
{
public:
    ~Crowd()
    {
        for (pid_t pid : m_pids)
            ::kill(pid, SIGKILL);
        for (pid_t pid : m_pids)
            waitpid(pid, nullptr, 0);
    }

    // Children that run the idle program (under a name of ours) once they are ready.
    bool addIdle(int count, const QString& idleProgram) { return add(count, {}, idleProgram); }
    // Children that map each of the files once and wait.
    bool addMapping(int count, const QStringList& files) { return add(count, files, QString()); }
    QSet<qint64> pids() const { return QSet<qint64>(m_pids.begin(), m_pids.end()); }

private:
    bool add(int count, const QStringList& mapFiles, const QString& idleProgram)
    {
        std::vector<std::string> files;
        for (const QString& f : mapFiles)
            files.push_back(QFile::encodeName(f).toStdString());
        const std::string idle = QFile::encodeName(idleProgram).toStdString();
        const std::string idleName = QFile::encodeName(QFileInfo(idleProgram).fileName()).toStdString();
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0)
            return false;
        int started = 0;
        for (int i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                // Only calls that are safe between fork and exec.
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (chdir("/") != 0)
                    _exit(1);
                for (const std::string& f : files) {
                    const int fd = open(f.c_str(), O_RDONLY | O_CLOEXEC);
                    if (fd >= 0) {
                        mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0);
                        close(fd);
                    }
                }
                const char byte = 1;
                if (write(ready[1], &byte, 1) != 1)
                    _exit(1);
                if (!idle.empty())
                    execl(idle.c_str(), idleName.c_str(), "infinity", static_cast<char*>(nullptr));
                for (;;)
                    pause();
            }
            if (pid > 0) {
                m_pids.push_back(pid);
                ++started;
            }
        }
        close(ready[1]);
        char byte;
        int signalled = 0;
        while (signalled < started && read(ready[0], &byte, 1) == 1)
            ++signalled;
        close(ready[0]);
        return started == count && signalled == count;
    }

    std::vector<pid_t> m_pids;
};

// CPU time of this process (all threads) or of its ended children, in milliseconds.
double cpuMs(int who)
{
    struct rusage u;
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

QSet<qint64> lsofPids(const QByteArray& output)
{
    QSet<qint64> pids;
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith('p'))
            pids.insert(line.mid(1).toLongLong());
    }
    return pids;
}

void benchOpenFileScan(const QString& base, const Vault& vault)
{
    const QString lsof = QStandardPaths::findExecutable(QStringLiteral("lsof"));
    if (lsof.isEmpty()) {
        printf("open-file scan: lsof is not installed\n");
        result(QStringLiteral("open-file scan vs lsof"), QStringLiteral("lsof missing"),
               QStringLiteral(">= 5 in every run"), false);
        return;
    }
    // Library-like files for the heavy processes' maps, and an idle program under a name of ours.
    const QString libs = base + QStringLiteral("/libs");
    QDir().mkpath(libs);
    QStringList libFiles;
    for (int i = 0; i < kMappedFiles; ++i) {
        libFiles.append(QStringLiteral("%1/libzvbench-component-%2.so.1.0.0").arg(libs).arg(i));
        writeFile(libFiles.last(), 4096, 'l');
    }
    const QString idle = base + QStringLiteral("/zvbench-idle");
    QFile::link(QStandardPaths::findExecutable(QStringLiteral("sleep")), idle);
    const QString held = vault.mountPoint() + QStringLiteral("/Mail/global-messages-db.sqlite");
    QDir().mkpath(vault.mountPoint() + QStringLiteral("/Mail"));
    writeFile(held, 1 << 20, 'd');

    Crowd crowd;
    Crowd holder; // only maps a file of the vault
    if (!crowd.addIdle(280, idle) || !crowd.addMapping(20, libFiles) || !holder.addMapping(1, {held})) {
        printf("open-file scan: could not start the extra processes\n");
        result(QStringLiteral("open-file scan vs lsof"), QStringLiteral("no processes"),
               QStringLiteral(">= 5 in every run"), false);
        return;
    }
    printf("open-file scan of a vault, %lld processes (300 extra: 280 idle, 20 with %d mapped files each):\n",
           static_cast<long long>(ProcTable().pids().size()), kMappedFiles);

    int agreed = 0;
    const int runs = 5;
    QString names;
    QByteArray output;
    double oursCpu = 0, lsofCpu = 0;
    auto theirs = [&] {
        const double before = cpuMs(RUSAGE_CHILDREN);
        const double ms = timeMs([&] {
            QProcess p;
            p.setStandardErrorFile(QProcess::nullDevice());
            p.start(lsof,
                    {QStringLiteral("+c0"), QStringLiteral("-F"), QStringLiteral("p"), vault.mountPoint()});
            p.waitForFinished(-1);
            output = p.readAllStandardOutput();
        });
        lsofCpu = cpuMs(RUSAGE_CHILDREN) - before;
        return ms;
    };
    // One scan takes about a tenth of lsof's time, so a single scheduler slice lost to another
    // program on a shared machine would weigh ten times as much on it: each run times scans back
    // to back for at least as long as a third of lsof's run and takes their mean.
    int scans = 0;
    auto ours = [&] {
        const double before = cpuMs(RUSAGE_SELF);
        QElapsedTimer clock;
        clock.start();
        scans = 0;
        do {
            names = ProcessInfo().FolderOpenByProcess(vault.mountPoint());
            ++scans;
        } while (scans < 3 || clock.elapsed() < 100);
        oursCpu = (cpuMs(RUSAGE_SELF) - before) / scans;
        return double(clock.nsecsElapsed()) / 1e6 / scans;
    };
    const QList<double> ratios = pairedRatios(runs, theirs, ours, [&](int run, double lsofMs, double oursMs) {
        const QList<qint64> found = FolderHolders(vault.mountPoint()).pids();
        const QSet<qint64> oursSet(found.begin(), found.end());
        const bool same = oursSet == lsofPids(output) && oursSet == holder.pids();
        agreed += same ? 1 : 0;
        printf("  run %d: ours %.1f ms (%.0f ms CPU, mean of %d, found %s), lsof %.1f ms (%.0f ms CPU) -> "
               "%.1f%s\n",
               run + 1, oursMs, oursCpu, scans, qPrintable(names), lsofMs, lsofCpu, lsofMs / oursMs,
               same ? "" : " (found other processes than lsof)");
        fflush(stdout);
    });
    const double lowest = *std::min_element(ratios.begin(), ratios.end());
    result(QStringLiteral("open-file scan vs lsof (min, median of %1)").arg(runs),
           QStringLiteral("%1, %2").arg(lowest, 0, 'f', 1).arg(median(ratios), 0, 'f', 1),
           QStringLiteral(">= 5 in every run"), lowest >= 5);
    result(QStringLiteral("open-file scan finds what lsof finds"),
           QStringLiteral("%1 of %2 runs").arg(agreed).arg(runs), QStringLiteral("every run"),
           agreed == runs);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    g_quick = quickRun(argc, argv);
    const QStringList args = app.arguments();
    const bool sweep = args.contains(QStringLiteral("--sweep"));
    const qsizetype only = args.indexOf(QStringLiteral("--only"));
    auto wanted = [&](const char* name) {
        return only < 0 || args.value(only + 1) == QLatin1String(name);
    };
    QTemporaryDir base(QDir::tempPath() + QStringLiteral("/zv-bench-XXXXXX"));
    if (wanted("size"))
        benchFolderSize(base.path());
    if (!wanted("copy") && !wanted("protect") && !wanted("scan"))
        return 0;
    Vault vault(base.path());
    if (!vault.mounted()) {
        printf("gocryptfs could not mount a vault\n");
        result(QStringLiteral("copy vs cp -a"), QStringLiteral("no vault"), QStringLiteral(">= 1.0"), false);
        result(QStringLiteral("open-file scan vs lsof"), QStringLiteral("no vault"),
               QStringLiteral(">= 5 in every run"), false);
        return 1;
    }
    if (wanted("copy"))
        benchCopy(base.path(), vault, sweep);
    if (wanted("protect"))
        benchProtect(base.path(), vault);
    if (wanted("scan"))
        benchOpenFileScan(base.path(), vault);
    return 0;
}

// Moving a locked 200 MB vault of many files to another file system, as the vault page does it
// (room check, copy, write-back, check against the original, rename into place, records, old
// image to the Trash), against `cp -a` + `sync -f` + `diff -r` of the same image to the same
// place. Also the longest stall of the main thread while the move runs.
// Run through tests/run-in-session.sh (bench/run does): it works in the temporary home.
#include "bench/BenchSupport.h"
#include "core/files/FileOperation.h"
#include "core/files/TreeCopier.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/OffThread.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/VaultMove.h"
#include "platform/FreedesktopTrash.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

using bench::runProgram;
using bench::writeFile;

namespace {

const QByteArray kPassword = "bench password";

// A locked vault holding media files and a mail store of small messages, about 200 MB.
QString makeVault(const QString& folder)
{
    const QString tool = BundleLayout::diskImageToolPath();
    const QString image = folder + QStringLiteral("/Bench.sparsebundle");
    if (runProgram(tool,
                   {"create", "-puppetstrings", "-stdinpass", "-encryption", "AES-256", "-size", "1G", "-fs",
                    "HFS+", "-layout", "NONE", "-volname", "Bench", image},
                   kPassword) != 0 ||
        runProgram(tool, {"mount", "-stdinpass", image}, kPassword) != 0)
        return {};
    const QString mount = QDir::homePath() + QStringLiteral("/.local/share/Zorvane/Volumes/Bench");
    QDir().mkpath(mount + QStringLiteral("/Photos"));
    for (int i = 0; i < 24; ++i)
        writeFile(QStringLiteral("%1/Photos/IMG_%2.jpg").arg(mount).arg(i), 6 << 20, char('a' + i));
    for (int box = 0; box < 20; ++box) {
        const QString cur = QStringLiteral("%1/Mail/box%2/cur").arg(mount).arg(box);
        QDir().mkpath(cur);
        for (int m = 0; m < 70; ++m)
            writeFile(QStringLiteral("%1/%2.eml").arg(cur).arg(m), 2000 + (m * 997) % 76000, 'm');
    }
    return runProgram(tool, {"detach", mount}) == 0 ? image : QString();
}

// Another file system: a tmpfs of our own (as root), else a writable one; empty when none.
QString otherDisk(bool* mounted)
{
    const QString own = QDir::homePath() + QStringLiteral("/otherdisk");
    QDir().mkpath(own);
    *mounted = ::geteuid() == 0 && runProgram(QStringLiteral("mount"),
                                              {"-t", "tmpfs", "-o", "size=1g,mode=0700", "tmpfs", own}) == 0;
    if (*mounted)
        return own;
    const QString shm = QStringLiteral("/dev/shm/zv-bench-%1").arg(QCoreApplication::applicationPid());
    return QDir().mkpath(shm) ? shm : QString();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

class Waiter : public VaultMoveObserver
{
public:
    QEventLoop loop;
    VaultMoveOutcome outcome;
    void setProgressMaximum(quint64) override {}
    void setProgressValue(quint64) override {}
    void moveStepChanged(VaultMoveStep, const QString&) override {}
    void moveEnded(const VaultMoveOutcome& ended) override
    {
        outcome = ended;
        loop.quit();
    }
};

void result(const char* name, double figure, const char* unit, const char* goal, bool met)
{
    bench::result(QLatin1String(name), QString::asprintf("%.2f%s", figure, unit), QLatin1String(goal), met);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    BundleLayout::setDiskImageToolPath(QCoreApplication::applicationDirPath() +
                                       QStringLiteral("/../Zorvane.app/Contents/bin/hdiutil"));
    qputenv("ZV_HDIUTIL_SCRYPTN", "10"); // setting up, not measured
    const QString source = QDir::homePath() + QStringLiteral("/vaults");
    QDir().mkpath(source);
    const QString image = makeVault(source);
    if (image.isEmpty()) {
        std::fprintf(stderr, "could not make a vault\n");
        return 1;
    }
    bool ownDisk = false;
    QString target = otherDisk(&ownDisk);
    const bool sameDisk = target.isEmpty();
    if (sameDisk) {
        target = QDir::homePath() + QStringLiteral("/target");
        QDir().mkpath(target);
    }
    const QString moved = target + QStringLiteral("/Bench.sparsebundle");
    std::printf("vault move: %.1f MB in %s, to %s%s\n",
                double(FileOperation::fastFolderSizeAtFSRef(image)) / (1 << 20), qPrintable(image),
                qPrintable(target), sameDisk ? " (same file system, copy forced)" : "");

    SettingsStore settings(SettingsStore::kZorvaneDomain);
    FreedesktopTrash trash;
    QList<double> baseline, ours;
    double longestStall = 0;
    for (int round = 0; round < 3; ++round) {
        runProgram(QStringLiteral("sync"), {});
        QElapsedTimer t;
        t.start();
        const bool same = runProgram(QStringLiteral("cp"), {QStringLiteral("-a"), image, target}) == 0 &&
                          runProgram(QStringLiteral("sync"), {QStringLiteral("-f"), target}) == 0 &&
                          runProgram(QStringLiteral("diff"), {QStringLiteral("-r"), image, moved}) == 0;
        baseline.append(double(t.nsecsElapsed()) / 1e6);
        TreeCopier::removeTree(moved);
        if (!same)
            std::printf("baseline copy differed\n");

        runProgram(QStringLiteral("sync"), {});
        Records(settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("Bench"), image);
        QElapsedTimer tick;
        double stall = 0;
        QTimer watch;
        watch.setInterval(2);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            stall = std::max(stall, double(tick.nsecsElapsed()) / 1e6);
            tick.restart();
        });
        Waiter waiter;
        const VaultMove::Request request{QStringLiteral("Bench"), image, target, sameDisk};
        t.restart();
        tick.start();
        watch.start();
        if (const auto refusal = OffThread::wait([request] { return VaultMove::check(request); })) {
            std::printf("refused: %s\n", qPrintable(refusal->text));
            return 1;
        }
        VaultMove move({&settings, trash.mover()}, request, &waiter);
        move.start();
        if (move.isRunning())
            waiter.loop.exec();
        ours.append(double(t.nsecsElapsed()) / 1e6);
        watch.stop();
        longestStall = std::max(longestStall, stall);
        if (waiter.outcome.result != VaultMoveOutcome::Result::Moved || !waiter.outcome.message.isEmpty()) {
            std::printf("move failed: %s\n", qPrintable(waiter.outcome.message));
            return 1;
        }
        // Back to the start for the next round: the original out of the Trash, the copy away.
        if (!trash.restore(FreedesktopTrash::homeTrash() + QStringLiteral("/files/Bench.sparsebundle")).ok) {
            std::printf("cannot take the image back from the Trash\n");
            return 1;
        }
        TreeCopier::removeTree(moved);
        std::printf("round %d: cp -a + sync -f + diff -r %.0f ms, move %.0f ms, longest stall %.1f ms\n",
                    round + 1, baseline.last(), ours.last(), stall);
    }
    const double ratio = median(baseline) / median(ours);
    std::printf("vault move vs cp -a + sync -f + diff -r (median of 3): ratio %.2f (%.0f ms vs %.0f ms)\n",
                ratio, median(ours), median(baseline));
    result("vault move vs cp -a + sync + diff -r (median of 3)", ratio, "", ">= 1.0", ratio >= 1.0);
    result("longest main-thread stall during a vault move", longestStall, " ms", "< 100 ms",
           longestStall < 100);
    if (ownDisk)
        runProgram(QStringLiteral("umount"), {QStringLiteral("-l"), target});
    else if (!sameDisk)
        TreeCopier::removeTree(target);
    return 0;
}

// The protected-items page with 20 items in one real vault, one of them 100,000 files (15,000
// with --quick): the time from loading the list until every size and the vault's free space are
// known, against `du -sb` of the same folders and the vault's encrypted folder (ratio = du time /
// ours: above 1 means we are faster); and the longest the main thread went without running a 5 ms
// heartbeat over the load and three refreshes. ZV_BENCH_DETAIL=1 also times the two large walks
// alone and together.
#include "app/items/item1.h"
#include "app/shell/AppControler.h"
#include "bench/BenchPage.h"
#include "bench/BenchSupport.h"
#include "core/files/TreeCopier.h"
#include "core/files/TreeSize.h"
#include "core/files/WalkQueue.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/BundleLayout.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/MountTable.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VaultVolume.h"
#include "platform/FreedesktopTrash.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <thread>

namespace {

const QByteArray kPassword = "bench-items";
const QString kVault = QStringLiteral("BenchItems");

QString tool()
{
    return BundleLayout::diskImageToolPath();
}

bool runTool(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(tool(), args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Items are folders of small files; the first one is the large mail store. They are written
// beside the vault and copied in with the program's own copy: files written one by one through
// the engine took minutes of the run's budget.
void fillItem(const QString& folder, int files)
{
    const QString staging =
        QDir::homePath() + QStringLiteral("/bench-staging/") + QFileInfo(folder).fileName();
    bench::writeSmallFiles(staging, files, 100, QStringLiteral("d"), QStringLiteral("f"), QString(), 'x');
    TreeCopier::Control control;
    if (!TreeCopier::copyInto(staging, QFileInfo(folder).path(), control).ok)
        fprintf(stderr, "could not fill %s\n", qPrintable(folder));
    TreeCopier::removeTree(staging);
}

void result(const char* name, double figure, const char* goal, bool met)
{
    bench::result(QLatin1String(name), QString::number(figure, 'f', 2), QLatin1String(goal), met);
}

struct LoadRun
{
    double loadMs = 0;     // until every size and the free space are known
    double longestGap = 0; // between two heartbeats, load and three refreshes included
    double loadCallMs = 0; // the load itself, before any walk answered
    double longestTickMs = 0;
    double gapAt = 0;   // when the longest gap ended, from the start of the load
    double onCpuMs = 0; // the main thread over the run: running, and runnable but waiting
    double waitingMs = 0;
};

// The main thread's time on a processor and its time waiting for one, in ms (schedstat).
std::pair<double, double> schedTimes()
{
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {0, 0};
    const QList<QByteArray> fields = stat.readAll().split(' ');
    return {fields.value(0).toDouble() / 1e6, fields.value(1).toDouble() / 1e6};
}

LoadRun loadOnce(SettingsStore& settings, const QString& image)
{
    bench::HeadlessPage headless;
    ItemPageServices services = headless.services(settings);
    item1 page(services);

    LoadRun run;
    QElapsedTimer clock;
    QElapsedTimer beat;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double gap = beat.nsecsElapsed() / 1e6;
        if (gap > run.longestGap) {
            run.longestGap = gap;
            run.gapAt = clock.isValid() ? clock.nsecsElapsed() / 1e6 : -1;
        }
        beat.restart();
    });
    const auto allKnown = [&] {
        for (const tableviewmodel& row : page.tablelist()) {
            const QString size = row.foldersize().value();
            if (size.isEmpty() || size == tableviewmodel::kNotAvailable)
                return false;
        }
        const std::optional<VaultUsageFigures> figures = page.usage()->figures(image, MountTable::read());
        return figures && figures->free().has_value();
    };

    QEventLoop loop;
    int ticks = 0;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (run.loadMs == 0 && page.isLoaded() && allKnown()) {
            run.loadMs = clock.nsecsElapsed() / 1e6;
            // Three refreshes, a little apart, as the timer would run them.
            for (int i = 1; i <= 3; ++i)
                QTimer::singleShot(50 * i, &page, [&] {
                    QElapsedTimer tick;
                    tick.start();
                    page.checkfilexists();
                    run.longestTickMs = std::max(run.longestTickMs, tick.nsecsElapsed() / 1e6);
                    if (++ticks == 3)
                        QTimer::singleShot(20, &loop, &QEventLoop::quit);
                });
        }
    });
    const auto [cpuBefore, waitBefore] = schedTimes();
    heartbeat.start();
    beat.start();
    QTimer::singleShot(10, &page, [&] {
        clock.start();
        page.awakeFromNib();
        run.loadCallMs = clock.nsecsElapsed() / 1e6;
        poll.start();
    });
    loop.exec();
    const auto [cpuAfter, waitAfter] = schedTimes();
    run.onCpuMs = cpuAfter - cpuBefore;
    run.waitingMs = waitAfter - waitBefore;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int bigItemFiles = bench::quickRun(argc, argv) ? 15000 : 100000;
    BundleLayout::setDiskImageToolPath(QApplication::applicationDirPath() +
                                       QStringLiteral("/../Zorvane.app/Contents/bin/hdiutil"));
    qputenv("ZV_HDIUTIL_SCRYPTN", "10");
    QTemporaryDir base(QDir::tempPath() + QStringLiteral("/zv-bench-items-XXXXXX"));
    const QString image = base.path() + QLatin1Char('/') + kVault + QStringLiteral(".sparsebundle");
    if (!runTool({"create", "-stdinpass", "-encryption", "AES-256", "-size", "20G", "-fs", "HFS+", "-layout",
                  "NONE", "-volname", kVault, image},
                 kPassword) ||
        !runTool({"mount", "-stdinpass", image}, kPassword)) {
        fprintf(stderr, "cannot create or mount the vault\n");
        return 1;
    }

    SettingsStore settings(SettingsStore::kZorvaneDomain);
    settings.registerDefaults(AppControler::registeredDefaults());
    Records records(settings);
    records.setEntry(SettingsKeys::VaultItem, kVault, image);
    const QString places = QDir::homePath() + QStringLiteral("/bench-places");
    QDir().mkpath(places);
    QStringList duArgs{QStringLiteral("-sb")};
    QElapsedTimer fill;
    fill.start();
    for (int i = 0; i < 20; ++i) {
        const QString name = QStringLiteral("Item%1").arg(i, 2, 10, QLatin1Char('0'));
        const QString place = places + QLatin1Char('/') + name;
        const QString target = Paths::itemDataPath(kVault, place);
        fillItem(target, i == 0 ? bigItemFiles : 300);
        QFile::link(target, place);
        records.recordCustomFolder(name, place, true);
        records.setEntry(SettingsKeys::RedirectItem, name, kVault);
        duArgs << target;
    }
    duArgs << DiskImageMetadata::cipherPath(image);
    printf("filled 20 items (%d files) in %.1f s\n", bigItemFiles + 19 * 300, fill.nsecsElapsed() / 1e9);
    fflush(stdout);

    // Warm caches for both sides alike.
    const auto duTime = [](const QStringList& args) {
        QElapsedTimer t;
        t.start();
        QProcess du;
        du.start(QStringLiteral("du"), args);
        du.waitForFinished(-1);
        return t.nsecsElapsed() / 1e6;
    };
    duTime(duArgs);
    double duMs = 1e30;
    for (int i = 0; i < 3; ++i)
        duMs = std::min(duMs, duTime(duArgs));
    if (qEnvironmentVariableIsSet("ZV_BENCH_DETAIL")) {
        const QString big = duArgs.at(1);
        const QString cipher = duArgs.last();
        QElapsedTimer t;
        t.start();
        TreeSize::measure(big);
        const double bigMs = t.nsecsElapsed() / 1e6;
        t.restart();
        VaultVolume::measureImage(image);
        const double cipherMs = t.nsecsElapsed() / 1e6;
        t.restart();
        std::thread a([&] { TreeSize::measure(big); });
        std::thread b([&] { VaultVolume::measureImage(image); });
        a.join();
        b.join();
        const double bothMs = t.nsecsElapsed() / 1e6;
        printf(
            "detail: du big item %.0f ms, du cipher %.0f ms; ours big item %.0f ms, image %.0f ms, both at "
            "once %.0f ms\n",
            duTime({QStringLiteral("-sb"), big}), duTime({QStringLiteral("-sb"), cipher}), bigMs, cipherMs,
            bothMs);
        fflush(stdout);
    }
    // Best of three, like the ratio: the machine is shared, and a run whose main thread waited
    // long for a processor says more about the other programs than about this one.
    LoadRun best{1e30, 1e30};
    for (int i = 0; i < 3; ++i) {
        QFile::remove(VaultUsage::stateFilePath(image));
        const LoadRun run = loadOnce(settings, image);
        printf("load %d: sizes and free space known after %.1f ms, longest stall %.1f ms (ending %.0f ms "
               "after the load began; the load call took %.1f ms, the longest refresh %.1f ms; the main "
               "thread ran %.0f ms and waited %.0f ms for a processor)\n",
               i + 1, run.loadMs, run.longestGap, run.gapAt, run.loadCallMs, run.longestTickMs, run.onCpuMs,
               run.waitingMs);
        fflush(stdout);
        best.loadMs = std::min(best.loadMs, run.loadMs);
        best.longestGap = std::min(best.longestGap, run.longestGap);
    }
    const double ratio = duMs / best.loadMs;
    printf("du -sb of the 20 folders and the encrypted folder: %.1f ms; our load: %.1f ms -> ratio %.2f\n",
           duMs, best.loadMs, ratio);
    printf("longest main-thread stall over a load and three refreshes, best of three loads: %.1f ms\n",
           best.longestGap);
    result("item sizes and free space at load vs du -sb (best of 3)", ratio, ">= 1", ratio >= 1.0);
    result("longest main-thread stall, load and 3 refreshes (ms, best of 3)", best.longestGap, "<= 50",
           best.longestGap <= 50);

    runTool({"detach", Paths::mountPoint(kVault)});
    return 0;
}

// Ten mounted vaults of 20,000 files each (with --quick 8,000 in the first, 300 in the others):
// the disk-image tool's `info` against `du -sb` of the first vault's encrypted folder (ratio = du time / info
// time: above 1 means info is faster), and the vault page's longest main-thread stall over three refreshes,
// measured by a 5 ms heartbeat.
#include "app/shell/AppControler.h"
#include "app/vaults/harddisktable.h"
#include "app/vaults/item2.h"
#include "bench/BenchPage.h"
#include "bench/BenchSupport.h"
#include "core/files/TreeCopier.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/BundleLayout.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/VaultUsage.h"
#include "platform/FreedesktopTrash.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

const QByteArray kPassword = "bench-vaults";
constexpr int kVaults = 10;

using bench::NoAlerts;

int runTool(const QStringList& args, const QByteArray& input = {})
{
    return bench::runProgram(BundleLayout::diskImageToolPath(), args, input);
}

// Written once beside the vaults and copied into each with the program's own copy: files written
// one by one through the engine would take most of the run.
QString makeTree(const QString& base, int files)
{
    const QString tree = base + QStringLiteral("/Mail");
    bench::writeSmallFiles(tree, files, 100, QStringLiteral("box"), QStringLiteral("m"),
                           QStringLiteral(".eml"), 'm');
    return tree;
}

struct Stall
{
    double loadMs = 0;     // building the page, until every row shows its free space
    double longestGap = 0; // between two heartbeats over the three refreshes
};

// Every mounted row shows its free space once the usage figures have arrived.
bool allMeasured(const item2& page)
{
    for (const harddisktable& row : page.tablelist())
        if (!row.disksize().startsWith(QStringLiteral("Available:")))
            return false;
    return !page.tablelist().isEmpty();
}

Stall measurePage(SettingsStore& settings)
{
    NoAlerts alerts;
    FreedesktopTrash trash;
    VaultPageServices services;
    services.settings = &settings;
    services.alerts = &alerts;
    services.trash = &trash;

    Stall stall;
    QElapsedTimer clock;
    clock.start();
    item2 page(services);
    page.timercheck()->stop(); // the refreshes below stand in for the page's own timer

    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (allMeasured(page) || clock.elapsed() > 600000)
            loop.quit();
    });
    poll.start();
    loop.exec();
    poll.stop();
    stall.loadMs = clock.nsecsElapsed() / 1e6;

    QElapsedTimer beat;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        stall.longestGap = std::max(stall.longestGap, beat.nsecsElapsed() / 1e6);
        beat.restart();
    });
    int ticks = 0;
    for (int i = 1; i <= 3; ++i)
        QTimer::singleShot(100 * i, &page, [&] {
            page.checkfilexists();
            if (++ticks == 3)
                QTimer::singleShot(100, &loop, &QEventLoop::quit);
        });
    heartbeat.start();
    beat.start();
    loop.exec();
    return stall;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool quick = bench::quickRun(argc, argv);
    const int files = quick ? 8000 : 20000;
    const int otherFiles = quick ? 300 : files;
    BundleLayout::setDiskImageToolPath(QApplication::applicationDirPath() +
                                       QStringLiteral("/../Zorvane.app/Contents/bin/hdiutil"));
    qputenv("ZV_HDIUTIL_SCRYPTN", "10");
    QTemporaryDir base(QDir::homePath() + QStringLiteral("/zv-bench-vaults-XXXXXX"));

    SettingsStore settings(SettingsStore::kZorvaneDomain);
    settings.registerDefaults(AppControler::registeredDefaults());
    Records records(settings);
    QElapsedTimer fill;
    fill.start();
    const QString tree = makeTree(base.path() + QStringLiteral("/first"), files);
    const QString otherTree =
        otherFiles == files ? tree : makeTree(base.path() + QStringLiteral("/others"), otherFiles);
    QStringList images;
    for (int i = 0; i < kVaults; ++i) {
        const QString name = QStringLiteral("Vault%1").arg(i);
        const QString image = base.path() + QLatin1Char('/') + name + QStringLiteral(".sparsebundle");
        TreeCopier::Control control;
        if (runTool({"create", "-stdinpass", "-encryption", "AES-256", "-size", "20G", "-fs", "HFS+",
                     "-layout", "NONE", "-volname", name, image},
                    kPassword) != 0 ||
            runTool({"mount", "-stdinpass", image}, kPassword) != 0 ||
            !TreeCopier::copyInto(i == 0 ? tree : otherTree, Paths::mountPoint(name), control).ok) {
            fprintf(stderr, "cannot create, mount or fill %s\n", qPrintable(name));
            return 1;
        }
        records.setEntry(SettingsKeys::VaultItem, name, image);
        images.append(image);
    }
    TreeCopier::removeTree(tree);
    TreeCopier::removeTree(otherTree);
    printf("%d vaults made (%d files in the first, %d in each other) in %.1f s\n", kVaults, files, otherFiles,
           fill.nsecsElapsed() / 1e9);
    fflush(stdout);

    // Without the figures the page keeps, info walks every encrypted folder.
    const double infoWalking = bench::timeMs([] { runTool({"info", "-plist"}); });

    const Stall stall = measurePage(settings);
    printf("vault page: built and every vault measured after %.0f ms; longest stall over three refreshes "
           "%.1f ms\n",
           stall.loadMs, stall.longestGap);

    int kept = 0;
    for (const QString& image : images)
        kept += VaultUsage::readState(image).has_value();
    const QString cipher = DiskImageMetadata::cipherPath(images.first());
    const double duMs = bench::medianMs(5, [&] { bench::runProgram(QStringLiteral("du"), {"-sb", cipher}); });
    const double infoMs = bench::medianMs(5, [] { runTool({"info", "-plist"}); });
    printf("info with %d vaults mounted (%d with kept figures): %.1f ms; du -sb of one encrypted folder: "
           "%.1f ms; info walking every folder: %.0f ms\n",
           kVaults, kept, infoMs, duMs, infoWalking);
    bench::result(
        QStringLiteral("info, 10 vaults mounted, vs du -sb of one of %1 files (median of 5)").arg(files),
        QString::number(duMs / infoMs, 'f', 2), QStringLiteral("> 1.0"), duMs / infoMs > 1.0);
    bench::result("vault page: longest main-thread stall over 3 refreshes", stall.longestGap, " ms",
                  "<= 50 ms", stall.longestGap <= 50);

    for (const QString& image : images)
        runTool({"detach", image, "-force"});
    return 0;
}

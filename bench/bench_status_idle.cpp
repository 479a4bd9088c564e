// ZorvaneStatus while nothing happens: the CPU time of the whole program over 20 s (10 s with
// --quick) with 10 vaults (5 of them unlocked) and 20 protected items (12 applications, 8 custom
// folders), against the same program with empty settings, measured one after the other in one run
// (--quick leaves the empty settings out: bench_watcher measures that too). Its menu, vault
// and app-store watches tick every second and must stay cheap. Runs in a process table of its
// own when it can, so other users' processes make no work for the helper's process watcher.
#include "bench/BenchSupport.h"
#include "core/catalogue/Catalogue.h"
#include "core/catalogue/Datafile.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

constexpr int kSettleMs = 3000;
int g_idleSeconds = 20;
constexpr int kVaults = 10;
constexpr int kUnlocked = 5;
constexpr int kApplications = 12;
constexpr int kFolders = 8;
const QByteArray kPassword = QByteArrayLiteral("bench password");

QString appDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../Zorvane.app");
}

bool runTool(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess tool;
    tool.start(appDir() + QStringLiteral("/Contents/bin/hdiutil"), arguments);
    if (!tool.waitForStarted())
        return false;
    tool.write(input);
    tool.closeWriteChannel();
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

// The settings a user with a few vaults has, with the data places linked into the vaults.
bool protectMuch()
{
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    settings.setObject(appDir() + QStringLiteral("/Contents/Resources/data.xml"),
                       SettingsKeys::DefaultXmlPath);
    settings.setObject(QStringLiteral("YES"), SettingsKeys::EnableNotifications);
    settings.setObject(QStringLiteral("YES"), SettingsKeys::NotFirstRunHelperApp);
    Records records(settings);
    const QString folder = Paths::home() + QStringLiteral("/Zorvane");
    QDir().mkpath(folder);
    QStringList vaults;
    for (int i = 0; i < kVaults; ++i) {
        const QString name = QStringLiteral("Vault%1").arg(i);
        const QString image = folder + QLatin1Char('/') + name + QStringLiteral(".sparsebundle");
        if (!runTool({"create", "-puppetstrings", "-stdinpass", "-encryption", "AES-256", "-size", "100M",
                      "-fs", "HFS+", "-layout", "NONE", "-volname", name, image},
                     kPassword))
            return false;
        if (i < kUnlocked && !runTool({"mount", image, "-stdinpass"}, kPassword))
            return false;
        records.setEntry(SettingsKeys::VaultItem, name, image);
        vaults.append(name);
    }
    const auto protect = [&](const QString& item, const QString& place, int index) {
        const QString vault = vaults.at(index % kVaults);
        QDir().mkpath(QFileInfo(place).path());
        QFile::link(Paths::itemDataPath(vault, place), place);
        records.setEntry(SettingsKeys::RedirectItem, item, vault);
    };
    const QList<CatalogueEntry> entries = Catalogue::loadFromSettings(settings);
    if (entries.size() < kApplications)
        return false;
    for (int i = 0; i < kApplications; ++i)
        protect(entries.at(i).name, Datafile::DealLibPath(entries.at(i).libpath), i);
    for (int i = 0; i < kFolders; ++i) {
        const QString name = QStringLiteral("Folder %1").arg(i);
        const QString place = Paths::home() + QStringLiteral("/Documents/") + name;
        protect(name, place, i);
        records.recordCustomFolder(name, place, true);
    }
    return true;
}

// Share of one core the helper used while idle; -1 when it could not be measured.
double idleShare(const char* label)
{
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedChannels);
    helper.start(
        BundleLayout::executableOfBundle(appDir() + QStringLiteral("/Contents/Resources/ZorvaneStatus.app")),
        {});
    if (!helper.waitForStarted()) {
        printf("ZorvaneStatus could not be started\n");
        return -1;
    }
    bench::runFor(kSettleMs);
    const bench::ProcessCpu cpu(helper.processId());
    bench::runFor(g_idleSeconds * 1000);
    const double used = cpu.elapsedMs();
    helper.terminate();
    helper.waitForFinished(5000);
    const double share = used >= 0 ? used / (g_idleSeconds * 10.0) : -1;
    printf("%s: %.1f ms CPU in %d s\n", label, used, g_idleSeconds);
    fflush(stdout);
    return share;
}

int measure(bool quick)
{
    qputenv("ZV_HDIUTIL_SCRYPTN", "10"); // a quick key derivation: the vaults only need to exist
    // Nothing to show, nothing to watch.
    const double empty = quick ? -1 : idleShare("empty settings");
    if (!protectMuch()) {
        printf("the vaults or the protected items could not be made\n");
        bench::result("ZorvaneStatus CPU while idle, 10 vaults and 20 items", -1, " %", "<= 0.5 %", false);
        return 0;
    }
    const double busy = idleShare("10 vaults (5 unlocked), 20 protected items");
    for (int i = 0; i < kUnlocked; ++i)
        runTool({"detach", Paths::mountPoint(QStringLiteral("Vault%1").arg(i))});

    if (empty >= 0)
        printf("status idle: ZorvaneStatus %.2f %% of one core, empty settings %.2f %%\n", busy, empty);
    bench::result("ZorvaneStatus CPU while idle, 10 vaults and 20 items", busy, " %", "<= 0.5 %",
                  busy >= 0 && busy <= 0.5);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = bench::quickRun(argc, argv);
    if (quick)
        g_idleSeconds = 10;
    return bench::inOwnProcessTable([quick] { return measure(quick); });
}

// The uninstaller's item step (the restore job keeping the vault's copy: hidden copy, check,
// syncfs, exchange with the link) bringing a mixed 200 MB tree (about 70 MB with --quick) out of
// an unlocked vault, against `cp -a` of the same tree out of the same mount followed by
// `sync -f` of the destination, as pairs alternating which goes first. Ratio = cp time / ours:
// above 1 means the uninstaller is faster.
#include "bench/BenchSupport.h"
#include "core/files/TreeCopier.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "platform/FreedesktopTrash.h"
#include "uninstaller/RestoreWorkRestorer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const QByteArray kPassword = "bench-uninstall";
const QString kVault = QStringLiteral("BenchUninstall");
const QString kItem = QStringLiteral("Library");

int runTool(const QStringList& args, const QByteArray& input = {})
{
    return bench::runProgram(BundleLayout::diskImageToolPath(), args, input);
}

// Large media, mail stores of small messages, links.
void makeTree(const QString& tree, bool quick)
{
    QDir().mkpath(tree + QStringLiteral("/Photos"));
    for (int i = 0; i < (quick ? 8 : 24); ++i)
        bench::writeFile(QStringLiteral("%1/Photos/IMG_%2.jpg").arg(tree).arg(i), 6 << 20, char('a' + i));
    for (int box = 0; box < (quick ? 6 : 20); ++box) {
        const QString folder = QStringLiteral("%1/Mail/box%2/cur").arg(tree).arg(box);
        QDir().mkpath(folder);
        for (int m = 0; m < 200; ++m)
            bench::writeFile(QStringLiteral("%1/%2.eml").arg(folder).arg(m), 2000 + (m * 997) % 20000, 'm');
        QFile::link(QStringLiteral("cur"), QStringLiteral("%1/Mail/box%2/new").arg(tree).arg(box));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = bench::quickRun(argc, argv);
    BundleLayout::setDiskImageToolPath(QCoreApplication::applicationDirPath() +
                                       QStringLiteral("/../Zorvane.app/Contents/bin/hdiutil"));
    qputenv("ZV_HDIUTIL_SCRYPTN", "10");
    QTemporaryDir base(QDir::homePath() + QStringLiteral("/zv-bench-uninstall-XXXXXX"));
    const QString image = base.path() + QLatin1Char('/') + kVault + QStringLiteral(".sparsebundle");
    if (runTool({"create", "-stdinpass", "-encryption", "AES-256", "-size", "20G", "-fs", "HFS+", "-layout",
                 "NONE", "-volname", kVault, image},
                kPassword) != 0 ||
        runTool({"mount", "-stdinpass", image}, kPassword) != 0) {
        fprintf(stderr, "cannot create or mount the vault\n");
        return 1;
    }

    // The item as protecting leaves it: its data in the vault, a link at its place, records.
    const QString place = base.path() + QStringLiteral("/places/") + kItem;
    QDir().mkpath(QFileInfo(place).path());
    const QString target = Paths::itemDataPath(kVault, place);
    const QString staging = base.path() + QStringLiteral("/staging/") + kItem;
    makeTree(staging, quick);
    TreeCopier::Control fill;
    if (!TreeCopier::copyInto(staging, QFileInfo(target).path(), fill).ok) {
        fprintf(stderr, "cannot fill the vault\n");
        return 1;
    }
    TreeCopier::removeTree(QFileInfo(staging).path());
    const auto relink = [&] {
        return QFile::link(target, place);
    };
    relink();
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    Records records(settings);
    records.setEntry(SettingsKeys::VaultItem, kVault, image);
    records.recordCustomFolder(kItem, place, true);
    records.setEntry(SettingsKeys::RedirectItem, kItem, kVault);
    printf("tree in the vault: %.1f MB\n", double(fill.bytesDone.load()) / 1e6);

    FreedesktopTrash trash;
    const QString cpOut = base.path() + QStringLiteral("/cp-out");
    QString failure;
    const auto ours = [&] {
        RestoreWorkRestorer restorer(trash);
        const QString refusal = restorer.prepare({kItem, kVault, place, 1}, settings);
        if (!refusal.isEmpty()) {
            failure = refusal;
            return 1e30;
        }
        const double ms = bench::timeMs([&] {
            if (!restorer.begin(&failure) || !restorer.run())
                failure = failure.isEmpty() ? restorer.failure() : failure;
            restorer.endJournal();
        });
        // Back as it was for the next pair: the restored data goes, the link comes back.
        TreeCopier::removeTree(place);
        relink();
        return ms;
    };
    const auto cp = [&] {
        const double ms = bench::timeMs([&] {
            bench::runProgram(QStringLiteral("cp"), {QStringLiteral("-a"), target, cpOut});
            bench::runProgram(QStringLiteral("sync"), {QStringLiteral("-f"), cpOut});
        });
        TreeCopier::removeTree(cpOut);
        return ms;
    };
    const QList<double> ratios =
        bench::pairedRatios(quick ? 2 : 5, cp, ours, [](int pair, double cpMs, double ourMs) {
            printf("pair %d: cp -a + sync -f %.0f ms, uninstaller's restore %.0f ms\n", pair + 1, cpMs,
                   ourMs);
            fflush(stdout);
        });
    if (!failure.isEmpty()) {
        fprintf(stderr, "the restore failed: %s\n", qPrintable(failure));
        runTool({"detach", image, "-force"});
        return 1;
    }
    const double ratio = bench::median(ratios);
    bench::result(QStringLiteral("uninstaller restore vs cp -a + sync out of the vault (median of %1)")
                      .arg(ratios.size()),
                  QString::number(ratio, 'f', 2), QStringLiteral(">= 0.9"), ratio >= 0.9);
    runTool({"detach", image, "-force"});
    return 0;
}

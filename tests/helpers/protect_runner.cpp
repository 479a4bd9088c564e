// Runs the protected-items page's jobs headless, for the kill tests:
//   protect_runner ITEM IMAGE   records IMAGE as a vault when it is not recorded yet and protects
//                               the folder or file ITEM (named after its last component) into that
//                               mounted vault through the real request and job.
//   protect_runner --restore NAME
//                               decrypts the protected item NAME through the page's real request
//                               and job (its vault must be attached or have no password).
//   protect_runner --recover    settles cut-off jobs as Zorvane does at its start.
//   protect_runner --start      settles them, then loads the protected-items page (its repair of
//                               the item list) and prints "row NAME STATUS" for every row.
// Exit status: 0 the job ended "over" (recover, start: everything settled), 1 "error" (recover,
// start: a journal kept or set aside), 2 the request refused (its alerts on standard error), 64
// usage.
// ZV_TEST_KILL_AT=<point> makes the process kill itself at that point of the job.
#include "core/files/JobRecovery.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "platform/FreedesktopTrash.h"
#include "tests/support/ProtectFixture.h"
#include "tests/support/TestPaths.h"

#include <QApplication>
#include <QFileInfo>
#include <QTableView>
#include <cstdio>

namespace {

void say(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

void sayAlerts(const ProtectFixture& fixture)
{
    for (const Alert& alert : fixture.alerts.shown)
        say(QStringLiteral("alert: %1 / %2%3")
                .arg(alert.messageText, alert.informativeText,
                     alert.accessoryText.isEmpty() ? QString()
                                                   : QStringLiteral(" / ") + alert.accessoryText));
}

int recover(SettingsStore& settings, FreedesktopTrash& trash)
{
    const JobSettler::Report report =
        JobRecovery::settleAtStart({&settings, trash.mover(), trash.access().find});
    say(QStringLiteral("settled %1 kept %2 set aside %3")
            .arg(report.settled.join(QLatin1Char(',')), report.kept.join(QLatin1Char(',')),
                 report.setAside.join(QLatin1Char(','))));
    return report.kept.isEmpty() && report.setAside.isEmpty() ? 0 : 1;
}

// Zorvane's start: the journals first, then the item list's repair as the page loads.
int start()
{
    ProtectFixture fixture;
    const int settled = recover(fixture.settings, fixture.trash);
    item1& page = fixture.makePage();
    page.awakeFromNib();
    for (const tableviewmodel& row : page.tablelist())
        std::printf("row %s %s\n", qPrintable(row.name()), qPrintable(row.strstatus()));
    return settled;
}

int protect(const QString& item, const QString& image)
{
    const QString vault = Paths::vaultNameFromImagePath(image);
    ProtectFixture fixture; // no password script: an unlock it is asked for is cancelled
    Records records(fixture.settings);
    if (!records.contains(SettingsKeys::VaultItem, vault))
        records.setEntry(SettingsKeys::VaultItem, vault, image);
    const QString name = QFileInfo(item).fileName();
    fixture.request(name, item, vault);
    const bool started = !fixture.page->runningJobs().isEmpty();
    fixture.waitForJobs(600000);
    sayAlerts(fixture);
    if (!started)
        return 2;
    return fixture.isProtected(name) ? 0 : 1;
}

int restore(const QString& name)
{
    ProtectFixture fixture;
    item1& page = fixture.makePage();
    page.awakeFromNib();
    const int row = page.rowOfItem(name);
    if (row < 0) {
        say(QStringLiteral("no row for ") + name);
        return 2;
    }
    page.tableview()->selectRow(row);
    page.sheetDidEndShouldRestore(AlertPort::kSecondButton);
    const bool started = !page.runningJobs().isEmpty();
    fixture.waitForJobs(600000);
    sayAlerts(fixture);
    if (!started)
        return 2;
    return fixture.isProtected(name) ? 1 : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
    if (args.size() == 2 && args.at(1) == QStringLiteral("--recover")) {
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        FreedesktopTrash trash;
        return recover(settings, trash);
    }
    if (args.size() == 2 && args.at(1) == QStringLiteral("--start"))
        return start();
    if (args.size() == 3 && args.at(1) == QStringLiteral("--restore"))
        return restore(args.at(2));
    if (args.size() == 3 && !args.at(1).startsWith(QStringLiteral("--")))
        return protect(args.at(1), args.at(2));
    std::fprintf(stderr, "usage: protect_runner ITEM IMAGE | --restore NAME | --recover | --start\n");
    return 64;
}

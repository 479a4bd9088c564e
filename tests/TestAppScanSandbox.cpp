// Sandboxed applications in the scan: which Flatpak permissions let a data link into a vault
// work, how such rows look, and the sandboxed entries the shipped catalogue derives.
#include "app/items/AppScan.h"
#include "app/items/item1.h"
#include "app/items/scanappwindow.h"
#include "core/catalogue/Catalogue.h"
#include "core/catalogue/ScanCandidates.h"
#include "core/processes/FlatpakPermissions.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "tests/support/ProtectFixture.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// A permission file as the installation keeps it; no file at all for an empty value.
void writePermissions(const QString& path, const QString& filesystems)
{
    if (!filesystems.isNull())
        writeText(path, "[Application]\nname=x\n\n[Context]\nshared=network;\nfilesystems=" +
                            filesystems.toUtf8() + "\n\n[Session Bus Policy]\nfilesystems=host\n");
}

CatalogueEntry entry(const QString& name, const QString& libpath)
{
    CatalogueEntry e;
    e.name = name;
    e.libpath = libpath;
    e.processname = QStringLiteral("zvsandbox-none");
    e.issymlink = QStringLiteral("1");
    e.isui = QStringLiteral("1");
    e.infor = name + QStringLiteral(" data");
    return e;
}

} // namespace

class TestAppScanSandbox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { FlatpakPermissions::setSystemInstallation(QString()); }

    // The app's metadata first, then the system's and the user's overrides; only write access
    // to a place covering the vaults' root counts.
    void permissions_data()
    {
        QTest::addColumn<QString>("metadata");
        QTest::addColumn<QString>("systemOverride");
        QTest::addColumn<QString>("userOverride");
        QTest::addColumn<bool>("writable");
        const QString none;
        QTest::newRow("host") << "host;" << none << none << true;
        QTest::newRow("home") << "xdg-download;home;" << none << none << true;
        QTest::newRow("covering path") << "~/.local/share/Zorvane" << none << none << true;
        QTest::newRow("covering xdg path, create") << "xdg-data/Zorvane:create" << none << none << true;
        QTest::newRow("the root itself") << "~/.local/share/Zorvane/Volumes/" << none << none << true;
        QTest::newRow("home read-only") << "home:ro" << none << none << false;
        QTest::newRow("a prefix, not a folder above") << "~/.local/share/Zor" << none << none << false;
        QTest::newRow("a folder below the root")
            << "~/.local/share/Zorvane/Volumes/V" << none << none << false;
        QTest::newRow("os folders only") << "host-os;host-etc;xdg-documents" << none << none << false;
        QTest::newRow("none") << none << none << none << false;
        QTest::newRow("user override adds") << "xdg-music" << none << "home" << true;
        QTest::newRow("system override adds") << none << "host" << none << true;
        QTest::newRow("user override removes") << "home" << none << "!home;" << false;
        QTest::newRow("system override removes") << "host"
                                                 << "!host" << none << false;
        QTest::newRow("override makes read-only") << "home" << none << "home:ro" << false;
        QTest::newRow("user adds back what the system removed") << "home"
                                                                << "!home"
                                                                << "~" << true;
        QTest::newRow("removal leaves the rest") << "host;home" << none << "!host" << true;
    }

    void permissions()
    {
        QFETCH(QString, metadata);
        QFETCH(QString, systemOverride);
        QFETCH(QString, userOverride);
        QFETCH(bool, writable);
        QTemporaryDir root;
        const FlatpakPermissions::Installations where{root.path() + "/system", root.path() + "/user"};
        const QString id = QStringLiteral("org.zv.Mail");
        writePermissions(where.system + "/app/" + id + "/current/active/metadata", metadata);
        writePermissions(where.system + "/overrides/" + id, systemOverride);
        writePermissions(where.user + "/overrides/" + id, userOverride);
        writePermissions(where.user + "/overrides/org.zv.Other", QStringLiteral("host"));
        const QString home = root.path() + "/home";
        QCOMPARE(FlatpakPermissions::canWrite(FlatpakPermissions::filesystems(id, where),
                                              home + "/.local/share/Zorvane/Volumes", home),
                 writable);
    }

    // A generated home with a Flatpak app that may reach the vaults, one that may not, and a
    // snap: all measured and shown, only the first tickable; the others carry the note and the
    // Flatpak one the command that would allow it.
    void sandboxedRows()
    {
        const QString home = QDir::homePath();
        QTemporaryDir system;
        FlatpakPermissions::setSystemInstallation(system.path());
        writeText(home + "/.var/app/org.zv.Chat/config/Chat/db", QByteArray(3000, 'c'));
        writeText(home + "/.var/app/org.zv.Mail/.zvmail/inbox", QByteArray(5000, 'm'));
        writeText(home + "/snap/zvnotes/common/notes.db", QByteArray(2000, 'n'));
        writePermissions(Paths::dataHome() + "/flatpak/app/org.zv.Chat/current/active/metadata",
                         "xdg-download");
        writePermissions(system.path() + "/overrides/org.zv.Chat", "home");
        writePermissions(system.path() + "/app/org.zv.Mail/current/active/metadata", "home:ro");

        ProtectFixture f;
        f.catalogue = {entry("Chat (Flatpak)", "$homelib/.var/app/org.zv.Chat/config/Chat"),
                       entry("Mail (Flatpak)", "$homelib/.var/app/org.zv.Mail/.zvmail"),
                       entry("Notes (Snap)", "$homelib/snap/zvnotes")};
        Records(f.settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("V"), home + "/V.sparsebundle");
        item1& page = f.makePage();
        QSignalSpy ended(page.appScan(), &AppScan::passEnded);
        page.ClickScanApp();
        QVERIFY(!page.appScan()->isMeasuring() || ended.wait(20000));

        scanappwindow* window = page.appScan()->window();
        QCOMPARE(window->rowCount(), 3);
        const QString command =
            "flatpak override --user --filesystem=" + Paths::volumesRoot() + " org.zv.Mail";
        const struct
        {
            const char* name;
            bool tickable;
            QString description;
            QString tip;
        } expected[] = {{"Chat (Flatpak)", true, "Chat (Flatpak) data", {}},
                        {"Mail (Flatpak)", false, ScanCandidates::kSandboxNote, command},
                        {"Notes (Snap)", false, ScanCandidates::kSandboxNote, ScanCandidates::kSandboxNote}};
        for (int row = 0; row < 3; ++row) {
            QTableWidgetItem* check = window->table()->item(row, scanappwindow::CheckColumn);
            QCOMPARE(window->table()->item(row, scanappwindow::NameColumn)->text(), expected[row].name);
            QCOMPARE(bool(check->flags() & Qt::ItemIsUserCheckable), expected[row].tickable);
            QCOMPARE(window->table()->item(row, scanappwindow::DescriptionColumn)->text(),
                     expected[row].description);
            QCOMPARE(window->table()->item(row, scanappwindow::NameColumn)->toolTip(), expected[row].tip);
            window->setChecked(row, true);
            QCOMPARE(window->isChecked(row), expected[row].tickable);
        }
        QCOMPARE(page.appScan()->scantablelist().at(1).numsize(), quint64(5000));

        // A greyed row ticked behind the view's back still counts for nothing: OK does nothing.
        window->setChecked(0, false);
        window->table()->item(1, scanappwindow::CheckColumn)->setCheckState(Qt::Checked);
        window->okButton()->click();
        QVERIFY(f.alertTexts().isEmpty());
        QVERIFY(window->isVisible());
        QVERIFY(QFileInfo(home + "/.var/app/org.zv.Mail/.zvmail").isDir());
        QVERIFY(!QFileInfo(home + "/.var/app/org.zv.Mail/.zvmail").isSymLink());
    }

    // The shipped catalogue's sandboxed entries: data mapped into the sandbox, none for data in
    // a visible home folder, and the same processes as the application they belong to.
    void shippedVariants_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("libpath");
        QTest::newRow("dot folder") << "Thunderbird (Flatpak)"
                                    << "$homelib/.var/app/org.mozilla.Thunderbird/.thunderbird";
        QTest::newRow(".local/share") << "Evolution (Flatpak)"
                                      << "$homelib/.var/app/org.gnome.Evolution/data/evolution";
        QTest::newRow(".config") << "Signal (Flatpak)"
                                 << "$homelib/.var/app/org.signal.Signal/config/Signal";
        QTest::newRow("visible folder") << "Zim (Flatpak)" << QString();
        QTest::newRow("snap") << "Firefox (Snap)"
                              << "$homelib/snap/firefox";
        QTest::newRow("no snap") << "Evolution (Snap)" << QString();
    }

    void shippedVariants()
    {
        QFETCH(QString, name);
        QFETCH(QString, libpath);
        QFile source(TestPaths::sourceDir() + "/resources/catalogue.xml");
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QList<CatalogueEntry> entries =
            Catalogue::entriesFromXml(source.readAll()).value_or(QList<CatalogueEntry>());
        const CatalogueEntry* variant = Catalogue::findByName(entries, name);
        QCOMPARE(variant ? variant->libpath : QString(), libpath);
        if (!variant)
            return;
        const CatalogueEntry* native =
            Catalogue::findByName(entries, name.section(QStringLiteral(" ("), 0, 0));
        QVERIFY(native);
        QCOMPARE(variant->processname, native->processname);
        QVERIFY(native->appPaths().contains(variant->apppath));
    }

    // The sheet on screen with sizes filled in, for scripts/demo-scan (held while it is taken).
    void holdForScreenshot()
    {
        const int hold = qEnvironmentVariableIntValue("ZV_SHEET_HOLD_MS");
        if (hold <= 0)
            QSKIP("ZV_SHEET_HOLD_MS not set");
        const QString home = QDir::homePath();
        const QList<std::pair<const char*, int>> data{
            {"/.thunderbird/default/ImapMail/inbox", 412 << 20},
            {"/.config/Signal/sql/db.sqlite", 96 << 20},
            {"/.local/share/TelegramDesktop/tdata/media", 1200 << 20},
            {"/.config/joplin-desktop/database.sqlite", 23 << 20},
            {"/.local/share/digikam/digikam4.db", 61 << 20},
            {"/.mozilla/firefox/abc.default/places.sqlite", 180 << 20},
            {"/.var/app/org.mozilla.Thunderbird/.thunderbird/default/inbox", 88 << 20},
            {"/.var/app/org.gnome.Evolution/data/evolution/mail/local", 35 << 20}};
        for (const auto& [path, bytes] : data) {
            QDir().mkpath(QFileInfo(home + path).path());
            QFile file(home + path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(bytes));
        }
        QTemporaryDir system;
        FlatpakPermissions::setSystemInstallation(system.path());
        writePermissions(system.path() + "/app/org.gnome.Evolution/current/active/metadata", "home");

        QFile source(TestPaths::sourceDir() + "/resources/catalogue.xml");
        QVERIFY(source.open(QIODevice::ReadOnly));
        ProtectFixture f;
        f.catalogue = Catalogue::entriesFromXml(source.readAll()).value_or(QList<CatalogueEntry>());
        Records(f.settings)
            .setEntry(SettingsKeys::VaultItem, QStringLiteral("Private"), home + "/Private.sparsebundle");
        ItemPageServices services = f.services();
        services.scanSheet = nullptr; // the real window-modal sheet
        f.page = std::make_unique<item1>(services);
        item1& page = *f.page;
        page.setWindowTitle(QStringLiteral("Zorvane"));
        page.resize(900, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QSignalSpy ended(page.appScan(), &AppScan::passEnded);
        page.ClickScanApp();
        QVERIFY(!page.appScan()->isMeasuring() || ended.wait(60000));
        scanappwindow* window = page.appScan()->window();
        window->setChecked(0, true);
        window->setChecked(1, true);
        window->resize(760, 420);
        QTest::qWait(200);
        printf("HOLD sheet\n");
        fflush(stdout);
        QTest::qWait(hold);
        page.ClickScanAppCancel();
    }
};

QTEST_MAIN(TestAppScanSandbox)
#include "TestAppScanSandbox.moc"

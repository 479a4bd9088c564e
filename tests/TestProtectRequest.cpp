#include "app/items/item1.h"
#include "core/catalogue/CatalogueEntry.h"
#include "core/files/PathSafety.h"
#include "core/files/SetAside.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/vault/VaultVolume.h"
#include "tests/support/ProtectFixture.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

const QString kCantEncrypt = QStringLiteral("Can't encrypt the folder");
const QString kSystemFolder = QStringLiteral("Can't encrypt sysytem folder");
const QString kDifferentName = QStringLiteral("Please try a different name");
const QString kWarning = QStringLiteral("Please quit any application that is using the file or folder you "
                                        "have chosen, and don't open unnecessary "
                                        "applications during the encryption progress.");

QString systemFolderText(const QString& name)
{
    return QStringLiteral(
               "%1 is a system folder which can not be encrypted. You can create a new folder inside "
               "it, drag the files or folders you want to protect into it, and then you can encrypt "
               "the new folder.")
        .arg(name);
}

QString folderExistsText(const QString& name)
{
    return QStringLiteral(
               "A folder named: \"%1\" already exists in the vault, please click the right arrow on the "
               "main toolbar, click \"New Vault\" to create a new vault, and then you can select the new "
               "vault to store this folder.")
        .arg(name);
}

} // namespace

class TestProtectRequest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_images;
    int m_case = 0;

    QString placesFolder()
    {
        const QString folder = QDir::homePath() + QStringLiteral("/places-%1").arg(++m_case);
        QDir().mkpath(folder);
        return folder;
    }

    // Records an item as protected in a vault without moving anything: enough for the checks.
    static void recordProtected(ProtectFixture& f, const QString& item, const QString& place,
                                const QString& vault)
    {
        Records(f.settings).recordCustomFolder(item, place, true);
        Records(f.settings).setEntry(SettingsKeys::RedirectItem, item, vault);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestVaults::prepare(), "run through tests/run-in-session.sh");
        QVERIFY(m_images.isValid());
    }

    void init()
    {
        TestVaults::clearCase(QDir::homePath() + QStringLiteral("/none"));
        QFile::remove(Paths::configHome() + QStringLiteral("/user-dirs.dirs"));
        GlobalVariable::sharedInstance().setScanProgress(false);
    }

    void cleanup()
    {
        for (const MountedVault& vault : VaultVolume::mountedVaults())
            TestVaults::detach(QFileInfo(vault.mountPoint).fileName());
    }

    // Every refusal of the request in its order, the mended ones included, and what is accepted
    // around them. PLACES is a fresh folder under the home, HOME the home, VOLUMES the vaults'
    // mount folder.
    void refusals_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("vault");
        QTest::addColumn<QString>("title"); // empty: accepted, the job runs
        QTest::addColumn<QString>("text");  // the alert's text, or a part of ours

        const QString v = QStringLiteral("V");
        const QString w = QStringLiteral("W");
        QTest::newRow("no name") << ""
                                 << ""
                                 << "PLACES/Notes" << v << "Information required"
                                 << "Name must not be empty!";
        QTest::newRow("no location") << ""
                                     << "Notes"
                                     << "" << v << "Information required"
                                     << "Location must not be empty!";
        QTest::newRow("a link")
            << ""
            << "Notes"
            << "PLACES/link" << v << "Can't encrypt alias file"
            << "Zorvane can't encrypt an alias file, please select either a file or folder.";
        QTest::newRow("a link to Documents, with a slash")
            << ""
            << "Docs"
            << "PLACES/docs/" << v << "Can't encrypt alias file"
            << "Zorvane can't encrypt an alias file, please select either a file or folder.";
        QTest::newRow("the vault folder")
            << ""
            << "Vaults"
            << "HOME/Zorvane" << v << kCantEncrypt
            << "Zorvane can't encrypt the folder you selected, please select another folder.";
        QTest::newRow("Documents") << ""
                                   << "Docs"
                                   << "HOME/Documents" << v << kSystemFolder << systemFolderText("Documents");
        QTest::newRow("Documents with a slash")
            << ""
            << "Docs"
            << "HOME/Documents/" << v << kSystemFolder << systemFolderText("Documents");
        QTest::newRow("Documents through ..")
            << ""
            << "Docs"
            << "PLACES/../Documents" << v << kSystemFolder << systemFolderText("Documents");
        QTest::newRow("Documents through ~")
            << ""
            << "Docs"
            << "~/Documents/" << v << kSystemFolder << systemFolderText("Documents");
        QTest::newRow("Documents through a linked folder")
            << ""
            << "Docs"
            << "PLACES/homelink/Documents" << v << kSystemFolder << systemFolderText("Documents");
        QTest::newRow("the desktop's pictures folder")
            << "xdg"
            << "Photos"
            << "HOME/Fotos" << v << kSystemFolder << systemFolderText("Fotos");
        QTest::newRow("inside Documents") << ""
                                          << "Project"
                                          << "HOME/Documents/Project" << v << ""
                                          << "";
        QTest::newRow("the root folder") << ""
                                         << "Root"
                                         << "/" << v << kCantEncrypt << "the root folder";
        QTest::newRow("the home folder")
            << ""
            << "Home"
            << "HOME" << v << kCantEncrypt << "the home folder or a folder above it";
        QTest::newRow("the data folder")
            << ""
            << "Share"
            << "HOME/.local/share" << v << kCantEncrypt << "the vaults' volumes folder or a folder above it";
        QTest::newRow("inside a vault") << ""
                                        << "Inner"
                                        << "VOLUMES/VAULT/inner" << v << kCantEncrypt << "inside a vault";
        QTest::newRow("a folder holding an image")
            << "image"
            << "Images"
            << "PLACES/images" << v << kCantEncrypt << "a vault image or a folder holding one";
        QTest::newRow("the settings' folder")
            << ""
            << "Config"
            << "HOME/.config" << v << kCantEncrypt << "Zorvane's settings folder";
        QTest::newRow("the Trash") << ""
                                   << "Trash"
                                   << "HOME/.local/share/Trash" << v << kCantEncrypt << "a trash folder";
        QTest::newRow("the key file's folder")
            << ""
            << "Key"
            << "HOME/.local/share/Quellhaven" << v << kCantEncrypt << "Zorvane's key file";
        QTest::newRow("a folder holding a protected item")
            << "inner"
            << "Outer"
            << "PLACES/w" << v << kCantEncrypt << "a folder holding a protected item";
        QTest::newRow("a name taken at another place")
            << "taken"
            << "Notes"
            << "PLACES/Notes" << v << kDifferentName
            << "The name you have chosen already exists in Zorvane database, please enter another name.";
        QTest::newRow("an application's name")
            << ""
            << "Mail"
            << "PLACES/Notes" << v << kDifferentName
            << "The name you have chosen already exists in Zorvane database, please enter another name.";
        QTest::newRow("a single mailbox")
            << ""
            << "Box"
            << "PLACES/Library/Mail/In.mbox" << v << "Can't password protect single mailbox file"
            << "Under Lion and the next version of Mac OS X, the new mac mail client can't handle a single "
               "password-protected mailbox correctly, we suggest you to password protect all mailboxes, "
               "click "
               "\"Scan\" in the main toolbar, select \"mail\" from the list, click \"ok\" to continue.";
        QTest::newRow("no link can be made")
            << ""
            << "Version"
            << "/proc/version" << v << kCantEncrypt << "can't put a link in place of";
        QTest::newRow("same last component, same vault")
            << "samename"
            << "Second"
            << "PLACES/b/Notes" << v << "Encrypt failed" << folderExistsText("Notes");
        QTest::newRow("same last component, other vault") << "samename"
                                                          << "Second"
                                                          << "PLACES/b/Notes" << w << ""
                                                          << "";
        QTest::newRow("a repeat of a recorded folder") << "repeat"
                                                       << "Notes"
                                                       << "PLACES/Notes" << v << ""
                                                       << "";
        QTest::newRow("a path with dots and a slash") << ""
                                                      << "Notes"
                                                      << "PLACES/x/./../Notes/" << v << ""
                                                      << "";
    }

    void refusals()
    {
        QFETCH(QString, setup);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(QString, vault);
        QFETCH(QString, title);
        QFETCH(QString, text);

        ProtectFixture f;
        const QString places = placesFolder();
        const QString home = QDir::homePath();
        // Vaults of the case's own, so no row sees what another left.
        const QString mainVault = f.addVault(m_images.path(), QStringLiteral("ReqV%1").arg(m_case));
        const QString otherVault = f.addVault(m_images.path(), QStringLiteral("ReqW%1").arg(m_case));
        QVERIFY(!mainVault.isEmpty() && !otherVault.isEmpty());
        vault = vault == QStringLiteral("V") ? mainVault : otherVault;
        f.settings.setObject(home + QStringLiteral("/Zorvane"), SettingsKeys::DefaultVaultLocation);
        QVERIFY(
            TreeBuilder::build(places, QStringLiteral("f Notes/a 1200\nf Notes/sub/b 300\nl link -> Notes\n"
                                                      "l docs -> %1/Documents\nl homelink -> %1\n"
                                                      "f Library/Mail/In.mbox 10\nd x\nf b/Notes/c 40")
                                           .arg(home)));
        for (const char* folder :
             {"Zorvane", "Documents/Project", "Fotos", ".local/share/Quellhaven", ".local/share/Trash"})
            QDir().mkpath(home + QLatin1Char('/') + QLatin1String(folder));
        TreeBuilder::writeFile(home + QStringLiteral("/Documents/Project/plan"), 10);
        QDir().mkpath(Paths::mountPoint(mainVault) + QStringLiteral("/inner"));
        CatalogueEntry mail;
        mail.name = QStringLiteral("Mail");
        mail.libpath = home + QStringLiteral("/.mail-data");
        f.catalogue = {mail};
        if (setup == QStringLiteral("xdg")) {
            QFile dirs(Paths::configHome() + QStringLiteral("/user-dirs.dirs"));
            QVERIFY(dirs.open(QIODevice::WriteOnly));
            dirs.write("XDG_PICTURES_DIR=\"$HOME/Fotos\"\n");
        } else if (setup == QStringLiteral("image")) {
            QDir().mkpath(places + QStringLiteral("/images/Other.sparsebundle"));
            Records(f.settings)
                .setEntry(SettingsKeys::VaultItem, QStringLiteral("Other"),
                          places + QStringLiteral("/images/Other.sparsebundle"));
        } else if (setup == QStringLiteral("inner")) {
            QDir().mkpath(places + QStringLiteral("/w"));
            QFile::link(Paths::itemDataPath(mainVault, QStringLiteral("/Inner")),
                        places + QStringLiteral("/w/Inner"));
            recordProtected(f, QStringLiteral("Inner"), places + QStringLiteral("/w/Inner"), mainVault);
        } else if (setup == QStringLiteral("taken")) {
            Records(f.settings)
                .recordCustomFolder(QStringLiteral("Notes"), places + QStringLiteral("/Other"), true);
        } else if (setup == QStringLiteral("samename")) {
            recordProtected(f, QStringLiteral("First"), places + QStringLiteral("/a/Notes"), mainVault);
        } else if (setup == QStringLiteral("repeat")) {
            Records(f.settings)
                .recordCustomFolder(QStringLiteral("Notes"), places + QStringLiteral("/Notes"), true);
        }
        path.replace(QStringLiteral("PLACES"), places)
            .replace(QStringLiteral("VOLUMES"), Paths::volumesRoot())
            .replace(QStringLiteral("VAULT"), mainVault)
            .replace(QStringLiteral("HOME"), home);

        item1& page = f.makePage();
        f.request(name, path, vault);
        if (title.isEmpty()) {
            QVERIFY2(f.alerts.shown.isEmpty(), qPrintable(f.alertTexts().join(QLatin1Char('\n'))));
            QCOMPARE(f.port.warnings, QStringList{kWarning});
            QCOMPARE(page.runningJobs().size(), 1);
            QVERIFY(!page.customfolderwindow()->isVisible());
            QVERIFY(f.waitForJobs());
            QVERIFY2(f.isProtected(name), qPrintable(f.alertTexts().join(QLatin1Char('\n'))));
            // Stored as the file system names the place.
            const QString stored = Records(f.settings).entry(SettingsKeys::CustomFolderItem, name);
            QCOMPARE(stored, PathSafety::normalise(path));
            QVERIFY(!stored.endsWith(QLatin1Char('/')) && !stored.contains(QStringLiteral("/.")));
            QVERIFY(QFileInfo(stored).isSymLink());
            return;
        }
        QCOMPARE(f.alerts.shown.size(), 1);
        QCOMPARE(f.alerts.shown.first().messageText, title);
        QVERIFY2(f.alerts.shown.first().informativeText.contains(text), qPrintable(f.alertTexts().first()));
        // A sheet on the request's own sheet, which stays open; nothing was recorded or started.
        QCOMPARE(f.alerts.windows.first(), page.customfolderwindow());
        QVERIFY(page.customfolderwindow()->isVisible());
        QVERIFY(page.runningJobs().isEmpty());
        QVERIFY(f.port.warnings.isEmpty());
        QVERIFY(!f.isProtected(name));
        if (setup != QStringLiteral("taken"))
            QCOMPARE(Records(f.settings).contains(SettingsKeys::CustomFolderItem, name), setup == "repeat");
        QCOMPARE(page.scanitemstotal(), 0);
    }

    // Step 11: what is left in the vault under the item's name.
    void leftover_data()
    {
        QTest::addColumn<QString>("leftover"); // the tree left at the item's place in the vault
        QTest::addColumn<bool>("connected");   // a protected item points to it
        QTest::addColumn<QString>("outcome");  // trashed, aside, refused

        QTest::newRow("empty folder") << "d Notes" << false << "trashed";
        QTest::newRow("folder of empty files") << "f Notes/empty 0" << false << "trashed";
        QTest::newRow("data nobody points to") << "f Notes/old 500" << false << "aside";
        QTest::newRow("another item's data") << "f Notes/old 500" << true << "refused";
    }

    void leftover()
    {
        QFETCH(QString, leftover);
        QFETCH(bool, connected);
        QFETCH(QString, outcome);

        ProtectFixture f;
        const QString places = placesFolder();
        const QString vault = f.addVault(m_images.path(), QStringLiteral("Left%1").arg(m_case));
        QVERIFY(!vault.isEmpty());
        const QString mount = Paths::mountPoint(vault);
        QVERIFY(TreeBuilder::build(mount, leftover));
        const QStringList before = TreeBuilder::fingerprint(mount + QStringLiteral("/Notes"));
        if (connected) {
            QFile::link(mount + QStringLiteral("/Notes"), places + QStringLiteral("/old-Notes"));
            recordProtected(f, QStringLiteral("Old"), places + QStringLiteral("/old-Notes"), vault);
        }
        QVERIFY(TreeBuilder::build(places, QStringLiteral("f Notes/a 2000")));
        f.request(QStringLiteral("Notes"), places + QStringLiteral("/Notes"), vault);
        QVERIFY(f.waitForJobs());

        if (outcome == QStringLiteral("refused")) {
            QCOMPARE(f.alertTexts(),
                     QStringList{QStringLiteral("Encrypt failed / ") + folderExistsText("Notes")});
            QVERIFY(f.page->CustomAvaCapacity()->text().isEmpty());
            QCOMPARE(TreeBuilder::fingerprint(mount + QStringLiteral("/Notes")), before);
            QVERIFY(QFileInfo(places + QStringLiteral("/Notes")).isDir());
            return;
        }
        QVERIFY2(f.isProtected(QStringLiteral("Notes")), qPrintable(f.alertTexts().join(QLatin1Char('\n'))));
        // The batch of one locked the vault.
        QVERIFY(!TestVaults::isMounted(vault));
        QVERIFY(f.attach(vault));
        if (outcome == QStringLiteral("trashed")) {
            // The vault's own Trash: what was in the vault stays in it.
            const QString trashed = mount + QStringLiteral("/.Trash-%1/files/Notes").arg(::geteuid());
            QCOMPARE(TreeBuilder::fingerprint(trashed), before);
        } else {
            // Kept beside the new copy under a number of five digits; nothing replaced.
            const QStringList names = QDir(mount).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
            const QStringList aside = names.filter(QRegularExpression(QStringLiteral("^Notes[0-9]{5}$")));
            QCOMPARE(aside.size(), 1);
            QCOMPARE(TreeBuilder::fingerprint(mount + QLatin1Char('/') + aside.first()), before);
        }
    }

    // Too little room: the offer, and what its answers do.
    void spaceOffer_data()
    {
        QTest::addColumn<int>("answer");    // the offer's button
        QTest::addColumn<bool>("held");     // a process keeps a file of the vault open
        QTest::addColumn<bool>("password"); // the user types the password when asked
        QTest::addColumn<bool>("resize");   // the resize dialog opens
        QTest::addColumn<bool>("mounted");  // the vault is still attached afterwards

        QTest::newRow("cancel") << int(AlertPort::kSecondButton) << false << false << false << true;
        QTest::newRow("ok, the vault is held")
            << int(AlertPort::kFirstButton) << true << false << false << true;
        QTest::newRow("ok, no password") << int(AlertPort::kFirstButton) << false << false << false << false;
        QTest::newRow("ok") << int(AlertPort::kFirstButton) << false << true << true << false;
    }

    void spaceOffer()
    {
        QFETCH(int, answer);
        QFETCH(bool, held);
        QFETCH(bool, password);
        QFETCH(bool, resize);
        QFETCH(bool, mounted);

        ProtectFixture f;
        const QString places = placesFolder();
        const QString vault =
            f.addVault(m_images.path(), QStringLiteral("Small%1").arg(m_case), QStringLiteral("1M"));
        QVERIFY(!vault.isEmpty());
        QVERIFY(TreeBuilder::build(places, QStringLiteral("f Big/a 2000000")));
        const QString mount = Paths::mountPoint(vault);
        StandIns standIns;
        if (held) {
            TreeBuilder::writeFile(mount + QStringLiteral("/held"), 10);
            QVERIFY(standIns.start(QStringLiteral("vaultkeeper"),
                                   {QStringLiteral("fd"), mount + QStringLiteral("/held")}));
        }
        if (password)
            f.panel.script = {ScriptedPasswordPanel::type(QString::fromLatin1(ProtectFixture::kPassword)),
                              ScriptedPasswordPanel::ok()};
        f.alerts.answers = {answer};
        f.request(QStringLiteral("Big"), places + QStringLiteral("/Big"), vault);

        const Alert offer = f.alerts.shown.value(0);
        QCOMPARE(offer.messageText, QStringLiteral("Do you want to increase the vault size?"));
        QCOMPARE(
            offer.informativeText,
            QStringLiteral("There is not enough space on the vault,do you want to expand the vault size?"));
        QCOMPARE(offer.accessoryText, QStringLiteral("Empty trash to free up more space"));
        QCOMPARE(offer.buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Cancel")}));
        QVERIFY(f.page->CustomAvaCapacity()->text().endsWith(QStringLiteral(" available")));
        if (held) {
            QCOMPARE(f.alerts.shown.size(), 2);
            QCOMPARE(f.alerts.shown.at(1).messageText, QStringLiteral("Failed to lock"));
            QVERIFY(f.alerts.shown.at(1).informativeText.contains(QStringLiteral("vaultkeeper")));
        }
        QCOMPARE(f.port.resizes.size(), resize ? 1 : 0);
        if (resize) {
            const ResizeOffer sent = f.port.resizes.first();
            QCOMPARE(sent.callId, 2);
            QCOMPARE(sent.unit, 0);
            QCOMPARE(sent.password, QString::fromLatin1(ProtectFixture::kPassword));
            // size + 50 MiB - free + capacity, in megabytes.
            QVERIFY(sent.newSize.toDouble() > 50.0 && sent.newSize.toDouble() < 53.0);
        }
        QCOMPARE(TestVaults::isMounted(vault), mounted);
        QVERIFY(f.page->runningJobs().isEmpty());
        QVERIFY(!Records(f.settings).contains(SettingsKeys::CustomFolderItem, QStringLiteral("Big")));
    }

    // Dropping on the table.
    void drops_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("fromTable");
        QTest::addColumn<bool>("vaults");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("alert");

        QTest::newRow("one folder") << QStringList{"PLACES/Notes/"} << false << true << true << "";
        QTest::newRow("two folders") << QStringList{"PLACES/Notes", "PLACES/b"} << false << true << false
                                     << "";
        QTest::newRow("from the table itself") << QStringList{"PLACES/Notes"} << true << true << false << "";
        QTest::newRow("a link") << QStringList{"PLACES/link"} << false << true << false << "";
        QTest::newRow("the vault folder") << QStringList{"HOME/Zorvane"} << false << true << false << "";
        QTest::newRow("no vault yet")
            << QStringList{"PLACES/Notes"} << false << false << false << "Create a vault";
    }

    void drops()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, fromTable);
        QFETCH(bool, vaults);
        QFETCH(bool, opened);
        QFETCH(QString, alert);

        ProtectFixture f;
        const QString places = placesFolder();
        QVERIFY(TreeBuilder::build(places, QStringLiteral("f Notes/a 10\nd b\nl link -> Notes")));
        QDir().mkpath(QDir::homePath() + QStringLiteral("/Zorvane"));
        f.settings.setObject(QDir::homePath() + QStringLiteral("/Zorvane"),
                             SettingsKeys::DefaultVaultLocation);
        if (vaults)
            Records(f.settings)
                .setEntry(SettingsKeys::VaultItem, QStringLiteral("D"), m_images.path() + "/D.sparsebundle");
        for (QString& path : paths)
            path.replace(QStringLiteral("PLACES"), places).replace(QStringLiteral("HOME"), QDir::homePath());
        item1& page = f.makePage();
        QCOMPARE(page.acceptDrop(paths, fromTable), opened);
        QCOMPARE(page.dragfolderwindow()->isVisible(), opened);
        QCOMPARE(f.alerts.shown.size(), alert.isEmpty() ? 0 : 1);
        if (!alert.isEmpty())
            QCOMPARE(f.alerts.shown.first().messageText, alert);
        if (!opened)
            return;
        QCOMPARE(page.dragfolderpath(), places + QStringLiteral("/Notes"));
        QCOMPARE(page.DragDescription()->text(), QStringLiteral("Preparing to encrypt: \"Notes\""));
        QCOMPARE(page.DragRedirectButton()->currentText(), QStringLiteral("D"));
        QVERIFY(!page.clickDragButton()->isEnabled());
        page.DragFolderName()->setText(QStringLiteral("Notes"));
        QVERIFY(page.clickDragButton()->isEnabled());
    }

    // The reminder's box stops further reminders; the drag sheet runs the same checks.
    void reminderAndDragSheet()
    {
        ProtectFixture f;
        const QString places = placesFolder();
        QVERIFY(!f.addVault(m_images.path(), QStringLiteral("Drag")).isEmpty());
        QVERIFY(TreeBuilder::build(places, QStringLiteral("f One/a 10\nf Two/b 10")));
        f.port.tickShowNoMore = true;
        f.request(QStringLiteral("One"), places + QStringLiteral("/One"), QStringLiteral("Drag"));
        QVERIFY(f.waitForJobs());
        QCOMPARE(f.port.warnings.size(), 1);
        QCOMPARE(f.settings.stringForKey(SettingsKeys::WarningText), QStringLiteral("NO"));

        // The batch locked the vault: the drag sheet's request unlocks it.
        f.panel.script = {ScriptedPasswordPanel::type(QString::fromLatin1(ProtectFixture::kPassword)),
                          ScriptedPasswordPanel::ok()};
        item1& page = *f.page;
        QVERIFY(page.acceptDrop({places + QStringLiteral("/Two")}, false));
        page.DragFolderName()->setText(QStringLiteral("One"));
        page.clickDragButton()->click();
        QCOMPARE(f.alertTexts().value(0),
                 QStringLiteral("Please try a different name / The name you have chosen already "
                                "exists in Zorvane database, please enter another name."));
        QCOMPARE(f.alerts.windows.value(0), page.dragfolderwindow());
        page.DragFolderName()->setText(QStringLiteral("Two"));
        page.clickDragButton()->click();
        QVERIFY(f.waitForJobs());
        QVERIFY(f.isProtected(QStringLiteral("Two")));
        QCOMPARE(f.port.warnings.size(), 1);
    }
};

QTEST_MAIN(TestProtectRequest)
#include "TestProtectRequest.moc"

#include "app/items/AppScan.h"
#include "app/items/item1.h"
#include "app/items/scanappwindow.h"
#include "core/catalogue/Catalogue.h"
#include "core/catalogue/Datafile.h"
#include "core/files/PathSafety.h"
#include "core/files/WalkQueue.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/vault/VaultVolume.h"
#include "tests/support/ProtectFixture.h"
#include "tests/support/StandIns.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

CatalogueEntry app(const QString& name, const QString& libpath, const QString& processes = {})
{
    CatalogueEntry e;
    e.name = name;
    e.libpath = libpath;
    e.processname = processes.isEmpty() ? QStringLiteral("zvscan-none") : processes;
    e.issymlink = QStringLiteral("1");
    e.isui = QStringLiteral("1");
    e.infor = name + QStringLiteral(" data");
    return e;
}

void writeFile(const QString& path, int bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
}

QStringList offered(item1& page)
{
    QStringList names;
    for (const scantableviewmodel& row : page.appScan()->scantablelist())
        names.append(row.name());
    return names;
}

bool scanAndWait(item1& page)
{
    QSignalSpy ended(page.appScan(), &AppScan::passEnded);
    page.ClickScanApp();
    return !page.appScan()->isMeasuring() || ended.wait(20000);
}

void tick(item1& page, const QStringList& names)
{
    scanappwindow* window = page.appScan()->window();
    for (int i = 0; i < window->rowCount(); ++i)
        window->setChecked(i, names.contains(page.appScan()->scantablelist().at(i).name()));
}

} // namespace

class TestAppScan : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_images;
    int m_case = 0;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestVaults::prepare(), "run through tests/run-in-session.sh");
        QVERIFY(m_images.isValid());
    }

    void init() { TestVaults::clearCase(QDir::homePath() + QStringLiteral("/none")); }

    void cleanup()
    {
        for (const MountedVault& vault : VaultVolume::mountedVaults())
            TestVaults::detach(QFileInfo(vault.mountPoint).fileName());
    }

    // A generated home with the data of several applications: only what is here, not empty, the
    // user's own and not yet protected is offered, in catalogue order.
    void offersExactlyTheUnprotected()
    {
        const QString home = QDir::homePath() + QStringLiteral("/scan-home-%1").arg(++m_case);
        const QString h = home;
        QDir().mkpath(h);
        QTemporaryDir outside;
        writeFile(h + "/mail/.store/inbox", 5000);
        writeFile(h + "/chat/Signal/db", 3000);
        QDir().mkpath(h + "/notes/empty");
        writeFile(h + "/elsewhere/photos/a.jpg", 100);
        QFile::link(h + "/elsewhere/photos", h + "/linked-photos");
        writeFile(h + "/real/browser/profile", 100);
        QFile::link(h + "/real", h + "/via-link");
        writeFile(outside.path() + "/data/file", 100);
        QFile::link(outside.path() + "/data", h + "/outside-data");
        writeFile(h + "/recreated/place/new", 100);
        writeFile(h + "/Pictures/p.jpg", 100);
        writeFile(h + "/later/zim/page.txt", 40);

        ProtectFixture f;
        f.catalogue = {app("Mail", "$homelib/" + h.mid(QDir::homePath().size() + 1) + "/mail/.store"),
                       app("Signal", h + "/chat/Signal"),
                       app("Empty", h + "/notes/empty"),
                       app("Linked", h + "/linked-photos"),
                       app("ParentLinked", h + "/via-link/browser"),
                       app("Outside", QStringLiteral("/etc/hostname")),
                       app("Missing", h + "/nothing-here"),
                       app("Recreated", h + "/recreated/place"),
                       app("Home", "$homelib"),
                       app("Photos", QDir::homePath() + "/Pictures"),
                       app("Zim", h + "/later/zim")};
        f.catalogue[7].issymlink = QStringLiteral("0");
        writeFile(QDir::homePath() + "/Pictures/p.jpg", 100);
        Records(f.settings)
            .setEntry(SettingsKeys::VaultItem, QStringLiteral("V"), m_images.path() + "/V.sparsebundle");
        Records(f.settings)
            .setEntry(SettingsKeys::RedirectItem, QStringLiteral("Recreated"), QStringLiteral("V"));
        item1& page = f.makePage();
        QVERIFY(scanAndWait(page));
        QCOMPARE(offered(page), QStringList({"Mail", "Signal", "Zim"}));
        QCOMPARE(page.appScan()->scantablelist().at(0).numsize(), quint64(5000));
        QCOMPARE(f.scanSheet.shown, 1);
        QVERIFY(page.appScan()->window()->okButton()->isEnabled());
        QVERIFY(page.button1()->isEnabled());
        QCOMPARE(page.appScan()->window()->measuringLine()->text(), QString());
    }

    void noVaultNoSheet()
    {
        ProtectFixture f;
        item1& page = f.makePage();
        page.ClickScanApp();
        QCOMPARE(f.scanSheet.shown, 0);
        QVERIFY(f.alertTexts().value(0).startsWith("Create a vault / "));
    }

    // Two applications into one real vault: both linked and recorded, the vault locked once at the
    // end; two whose data share a last component are refused before anything changes.
    void protectsTwoIntoOneVault_data()
    {
        QTest::addColumn<bool>("clash");
        QTest::newRow("two applications") << false;
        QTest::newRow("same last component") << true;
    }

    void protectsTwoIntoOneVault()
    {
        QFETCH(bool, clash);
        const QString h = QDir::homePath() + QStringLiteral("/scan-two-%1").arg(++m_case);
        writeFile(h + "/.thunderbird/profile/inbox", 20000);
        const QString second = clash ? h + "/.var/app/org.mozilla.Thunderbird/.thunderbird" : h + "/Signal";
        writeFile(second + "/db", 7000);
        ProtectFixture f;
        f.catalogue = {app("Thunderbird", h + "/.thunderbird"),
                       app(clash ? "Thunderbird (Flatpak)" : "Signal", second)};
        const QString vault = f.addVault(m_images.path(), QStringLiteral("Two%1").arg(m_case));
        QVERIFY(!vault.isEmpty());
        item1& page = f.makePage();
        QVERIFY(scanAndWait(page));
        QCOMPARE(offered(page).size(), 2);
        tick(page, offered(page));
        page.appScan()->window()->RedirectButtonTwo()->setCurrentText(vault);
        page.ClickScanAppOK();
        QVERIFY(f.waitForJobs());
        if (clash) {
            QCOMPARE(f.alertTexts().value(0),
                     QStringLiteral(
                         "Encrypt failed / A folder named: \".thunderbird\" already exists in the vault, "
                         "please click the right arrow on the main toolbar, click \"New Vault\" to "
                         "create a new vault, and then you can select the new vault to store this "
                         "folder."));
            QVERIFY(!QFileInfo(h + "/.thunderbird").isSymLink());
            QVERIFY(!QFileInfo(second).isSymLink());
            QVERIFY(Records(f.settings).list(SettingsKeys::RedirectItem).isEmpty());
            QCOMPARE(page.scanitemstotal(), 0);
            return;
        }
        QCOMPARE(f.alertTexts(), QStringList());
        for (const QString& place : {h + "/.thunderbird", second})
            QVERIFY2(QFileInfo(place).isSymLink(), qPrintable(place));
        QVERIFY(f.isProtected("Thunderbird"));
        QVERIFY(f.isProtected("Signal"));
        QCOMPARE(page.scanitemstotal(), 0);
        QTRY_VERIFY(!VaultVolume::mountOfImage(Records(f.settings).entry(SettingsKeys::VaultItem, vault)));
    }

    // A running owner refuses by the name that runs; the listed daemons are asked to quit, names
    // that only look alike stay.
    void processesOfTheScan()
    {
        const QString h = QDir::homePath() + QStringLiteral("/scan-proc-%1").arg(++m_case);
        writeFile(h + "/.thunderbird/inbox", 1000);
        writeFile(h + "/evolution/mail", 1000);
        ProtectFixture f;
        f.catalogue = {app("Thunderbird", h + "/.thunderbird", "thunderbird|thunderbird-bin"),
                       app("Evolution", h + "/evolution", "zvscan-evolution")};
        const QString vault = f.addVault(m_images.path(), QStringLiteral("Proc%1").arg(m_case));
        QVERIFY(!vault.isEmpty());
        StandIns standIns;
        QProcess* owner = standIns.start("thunderbird");
        QVERIFY(owner);
        QProcess* registry = standIns.start("evolution-source-registry");
        QProcess* factory = standIns.start("evolution-calendar-factory");
        QProcess* lookalike = standIns.start("evolution-source-registry2");
        QProcess* caseVariant = standIns.start("Evolution-source-registry");
        QVERIFY(registry && factory && lookalike && caseVariant);

        item1& page = f.makePage();
        QVERIFY(scanAndWait(page));
        tick(page, {"Thunderbird"});
        page.appScan()->window()->RedirectButtonTwo()->setCurrentText(vault);
        page.ClickScanAppOK();
        QCOMPARE(f.alertTexts().value(0),
                 QStringLiteral("Quit thunderbird first. / Please quit thunderbird application first."));
        QVERIFY(page.runningJobs().isEmpty());
        QVERIFY(!QFileInfo(h + "/.thunderbird").isSymLink());

        tick(page, {"Evolution"});
        page.ClickScanAppOK();
        QVERIFY(f.waitForJobs());
        QVERIFY(StandIns::ended(registry));
        QVERIFY(StandIns::ended(factory));
        QCOMPARE(lookalike->state(), QProcess::Running);
        QCOMPARE(caseVariant->state(), QProcess::Running);
        QVERIFY(f.isProtected("Evolution"));
    }

    // KMail's daemons are stopped through its own control program when there is one (no shell).
    void akonadiControlProgram()
    {
        QTemporaryDir bin;
        const QString marker = bin.path() + "/stopped";
        QFile script(bin.path() + "/akonadictl");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(marker).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
        const QString h = QDir::homePath() + QStringLiteral("/scan-kmail-%1").arg(++m_case);
        writeFile(h + "/local-mail/cur/1", 1000);
        ProtectFixture f;
        f.catalogue = {app("KMail", h + "/local-mail", "zvscan-kmail")};
        const QString vault = f.addVault(m_images.path(), QStringLiteral("KMail%1").arg(m_case));
        item1& page = f.makePage();
        QVERIFY(scanAndWait(page));
        tick(page, {"KMail"});
        page.appScan()->window()->RedirectButtonTwo()->setCurrentText(vault);
        page.ClickScanAppOK();
        QVERIFY(f.waitForJobs());
        qputenv("PATH", path);
        QFile stopped(marker);
        QVERIFY(stopped.open(QIODevice::ReadOnly));
        QCOMPARE(stopped.readAll().trimmed(), QByteArray("stop"));
    }

    // Cancel in the middle of a long size pass stops the walk at once: nothing is left walking.
    void cancelStopsTheWalk()
    {
        const QString h = QDir::homePath() + QStringLiteral("/scan-big-%1").arg(++m_case);
        for (int d = 0; d < 200; ++d) {
            const QString folder = h + QStringLiteral("/store/%1").arg(d);
            QDir().mkpath(folder);
            for (int i = 0; i < 300; ++i) {
                QFile file(folder + QStringLiteral("/%1").arg(i));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write("x");
            }
        }
        ProtectFixture f;
        f.catalogue = {app("Big", h + "/store")};
        Records(f.settings)
            .setEntry(SettingsKeys::VaultItem, QStringLiteral("V"), m_images.path() + "/V.sparsebundle");
        item1& page = f.makePage();
        page.ClickScanApp();
        QVERIFY(page.appScan()->isMeasuring());
        QVERIFY(!page.appScan()->window()->okButton()->isEnabled());
        page.ClickScanAppCancel();
        QVERIFY(!page.appScan()->isMeasuring());
        QVERIFY(page.walks()->waitForIdle(1000));
        QCOMPARE(page.walks()->pendingCount(), 0);
        QVERIFY(page.appScan()->scantablelist().isEmpty());
        QVERIFY(page.button1()->isEnabled());
    }

    // No shipped entry may put a desktop user folder (or what holds one) behind a link: while
    // the vault is locked the session would reset that folder to the home.
    void catalogueSparesUserFolders()
    {
        QFile source(TestPaths::sourceDir() + "/resources/catalogue.xml");
        QVERIFY(source.open(QIODevice::ReadOnly));
        const auto entries = Catalogue::entriesFromXml(source.readAll());
        QVERIFY(entries && entries->size() > 10);
        const QStringList userFolders = PathSafety::systemFoldersOf(QDir::homePath());
        QVERIFY(!userFolders.isEmpty());
        for (const CatalogueEntry& entry : *entries) {
            const QString data = QDir::cleanPath(Datafile::DealLibPath(entry.libpath));
            for (const QString& folder : userFolders)
                QVERIFY2(data != folder && !folder.startsWith(data + '/') && data != QDir::homePath(),
                         qPrintable(entry.name + " protects " + data));
        }
    }
};

QTEST_MAIN(TestAppScan)
#include "TestAppScan.moc"

#include "app/items/item1.h"
#include "app/shell/AppControler.h"
#include "app/shell/MainWindow.h"
#include "app/vaults/AddDiskSheet.h"
#include "app/vaults/item2.h"
#include "core/catalogue/AesEncryptor.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/LoginItems.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "platform/DBusNotificationCenter.h"
#include "platform/FreedesktopTrash.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/AppControlerFixture.h"
#include "tests/support/CreateSheetScript.h"
#include "tests/support/RecordingLauncher.h"
#include "tests/support/RecordingUrlOpener.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/ScriptedSelfUnlockPanel.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "ui/AttachedWindow.h"
#include "ui/SegmentedControl.h"

#include <QCheckBox>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

namespace {

QString statusExecutable()
{
    return BundleLayout::executableOfBundle(TestPaths::appDir() +
                                            QStringLiteral("/Contents/Resources/ZorvaneStatus.app"));
}

} // namespace

using Fixture = AppControlerFixture;

class TestAppControler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
    }

    void init()
    {
        for (const QString& dir :
             {Paths::settingsFolder(), Paths::defaultVaultFolder(),
              Paths::configHome() + QStringLiteral("/autostart"), QFileInfo(Paths::keyFile()).absolutePath()})
            QDir(dir).removeRecursively();
        GlobalVariable::sharedInstance().setScanProgress(false);
    }

    void firstStartWithoutVaults()
    {
        Fixture f;
        AppControler controller(f.services());
        controller.awakeFromNib();
        QCOMPARE(controller.myMainWindow()->box()->currentWidget(), controller.viewController(1));
        QCOMPARE(controller.myMainWindow()->segbutton()->selectedSegment(), 1);
        const QString folder = QDir::homePath() + QStringLiteral("/Zorvane");
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(f.settings.stringForKey(SettingsKeys::DefaultVaultLocation), folder);
        QCOMPARE(f.settings.dictionaryForKey(SettingsKeys::VaultsLocation),
                 (QVariantMap{{QStringLiteral("Zorvane"), folder}}));
        // The helper becomes a login item once, and the choice is remembered.
        QVERIFY(LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QVERIFY(f.settings.boolForKey(SettingsKeys::HelperStartSet));
        QCOMPARE(f.settings.stringForKey(SettingsKeys::EnableNotifications), QStringLiteral("YES"));
        QVERIFY(f.settings.stringForKey(SettingsKeys::DefaultXmlPath)
                    .endsWith(QStringLiteral("/Contents/Resources/data.xml")));
    }

    // The vault page lives in the main window and offers the first vault once launching is done.
    void vaultPageOffersTheFirstVault()
    {
        Fixture f;
        CreateSheetScript sheet;
        SecretServiceKeychain keychain;
        AppControlerServices services = f.services();
        services.createSheet = &sheet;
        services.unlock.keychain = &keychain;
        AppControler controller(services);
        controller.awakeFromNib();
        QCOMPARE(controller.viewController(1), controller.vaultPage());
        QVERIFY(GlobalVariable::sharedInstance().getItem2Flag());
        f.alerts.answers = {1000};
        controller.finishlauch(true);
        QCOMPARE(f.alerts.shown.size(), 1);
        QCOMPARE(f.alerts.shown.first().messageText, QStringLiteral("Create an encrypted vault"));
        QVERIFY(sheet.isOpen());
        QVERIFY(controller.vaultPage()->adddiskcontroller());
    }

    void existingSettingsAreKept()
    {
        Fixture f;
        Records(f.settings)
            .setEntry(SettingsKeys::VaultItem, QStringLiteral("Data"),
                      QStringLiteral("/x/Data.sparsebundle"));
        f.settings.setObject(QStringLiteral("/elsewhere"), SettingsKeys::DefaultVaultLocation);
        f.settings.setBool(true, SettingsKeys::HelperStartSet);
        AppControler controller(f.services());
        controller.awakeFromNib();
        QCOMPARE(controller.myMainWindow()->box()->currentWidget(), controller.viewController(0));
        QCOMPARE(f.settings.stringForKey(SettingsKeys::DefaultVaultLocation), QStringLiteral("/elsewhere"));
        // Already set up once: the user's removal of the helper's login item is respected.
        QVERIFY(!LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
    }

    void helperIsStartedOnlyWhenNotRunning()
    {
        Fixture f;
        AppControler controller(f.services());
        controller.awakeFromNib();
        QVERIFY(controller.applicationWillFinishLaunching());
        QCOMPARE(f.launcher.launched, QStringList{controller.helperPath()});

        QProcess helper;
        helper.start(statusExecutable(), {});
        QVERIFY(helper.waitForStarted());
        f.launcher.launched.clear();
        QVERIFY(controller.applicationWillFinishLaunching());
        QVERIFY(f.launcher.launched.isEmpty());
        helper.terminate();
        helper.waitForFinished();
    }

    void selfProtectionPrompt_data()
    {
        QTest::addColumn<QList<std::optional<QString>>>("typed");
        QTest::addColumn<bool>("continues");
        QTest::addColumn<int>("incorrectShown");
        QTest::newRow("right") << QList<std::optional<QString>>{QStringLiteral("s3cret")} << true << 0;
        QTest::newRow("wrong then right")
            << QList<std::optional<QString>>{QStringLiteral("nope"), QStringLiteral("s3cret")} << true << 1;
        QTest::newRow("cancel") << QList<std::optional<QString>>{std::nullopt} << false << 0;
        QTest::newRow("wrong then cancel")
            << QList<std::optional<QString>>{QStringLiteral("x"), std::nullopt} << false << 1;
    }

    void selfProtectionPrompt()
    {
        QFETCH(QList<std::optional<QString>>, typed);
        QFETCH(bool, continues);
        QFETCH(int, incorrectShown);
        QDir().mkpath(QFileInfo(Paths::keyFile()).absolutePath());
        QFile key(Paths::keyFile());
        QVERIFY(key.open(QIODevice::WriteOnly));
        key.write(AesEncryptor::encryptBase64String(AppControler::kSelfProtectionMarker,
                                                    QStringLiteral("s3cret"), false)
                      .toUtf8());
        key.close();

        Fixture f;
        f.selfUnlock.script = typed;
        AppControler controller(f.services());
        QSignalSpy terminate(&controller, &AppControler::terminateRequested);
        controller.awakeFromNib();
        QCOMPARE(controller.applicationWillFinishLaunching(), continues);
        QCOMPARE(terminate.size(), continues ? 0 : 1);
        QCOMPARE(f.selfUnlock.infos.count(QStringLiteral("Password is incorrect")), incorrectShown);
        // Nothing else of the start runs after a cancel: not even the helper or the item repair.
        QCOMPARE(f.launcher.launched.isEmpty(), !continues);
        QCOMPARE(controller.itemPage()->isLoaded(), continues);
    }

    void startupVaultsUnlockInOrderBeforeTheWindowShows()
    {
        TestVaults::useCheapKeyDerivation();
        const QString folder = QDir::homePath() + QStringLiteral("/vaults");
        QDir().mkpath(folder);
        const QString first = TestVaults::create(folder, QStringLiteral("First"), "pw-first");
        const QString second = TestVaults::create(folder, QStringLiteral("Second"), "pw-second");
        QVERIFY(!first.isEmpty() && !second.isEmpty());

        // An item of the first vault lost its link: the repair finds the vault unlocked already.
        QCOMPARE(TestVaults::runTool({"mount", "-stdinpass", first}, "pw-first"), 0);
        const QString place = QDir::homePath() + QStringLiteral("/MailPlace");
        QVERIFY(QDir().mkpath(Paths::itemDataPath(QStringLiteral("First"), place)));
        QVERIFY(TestVaults::detach(QStringLiteral("First")));

        Fixture f;
        f.settings.setObject(QStringLiteral("YES"), SettingsKeys::MountAtStart);
        f.settings.setObject(QVariantList{second, first}, SettingsKeys::StartupItem);
        Records(f.settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("First"), first);
        Records(f.settings).recordCustomFolder(QStringLiteral("Mail"), place, true);
        Records(f.settings)
            .setEntry(SettingsKeys::RedirectItem, QStringLiteral("Mail"), QStringLiteral("First"));
        using P = ScriptedPasswordPanel;
        f.panel.script = {P::type(QStringLiteral("pw-second")), P::ok(), P::type(QStringLiteral("pw-first")),
                          P::ok()};
        AppControler controller(f.services());
        controller.awakeFromNib();
        QVERIFY(controller.applicationWillFinishLaunching());
        QCOMPARE(f.panel.prompts, (QStringList{QStringLiteral("Enter password to access 'Second'"),
                                               QStringLiteral("Enter password to access 'First'")}));
        QVERIFY(TestVaults::isMounted(QStringLiteral("First")));
        QVERIFY(TestVaults::isMounted(QStringLiteral("Second")));
        QVERIFY(QFileInfo(place).isSymLink());
        QCOMPARE(controller.itemPage()->tablelist().size(), 1);
        QVERIFY(!controller.myMainWindow()->isVisible());
        controller.finishlauch(false);
        QVERIFY(controller.myMainWindow()->isVisible());
        QVERIFY(TestVaults::detach(QStringLiteral("First")));
        QVERIFY(TestVaults::detach(QStringLiteral("Second")));
    }

    void quitGuard_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("quits");
        QTest::newRow("idle") << false << 0 << true;
        QTest::newRow("busy, Cancel") << true << 1000 << false;
        QTest::newRow("busy, Exit") << true << 1001 << true;
    }

    void quitGuard()
    {
        QFETCH(bool, busy);
        QFETCH(int, answer);
        QFETCH(bool, quits);
        Fixture f;
        f.alerts.answers = {answer};
        AppControler controller(f.services());
        GlobalVariable::sharedInstance().setScanProgress(busy);
        QCOMPARE(controller.applicationShouldTerminate(), quits);
        QCOMPARE(f.alerts.shown.size(), busy ? 1 : 0);
        if (busy) {
            const Alert& alert = f.alerts.shown.first();
            QCOMPARE(alert.messageText, QStringLiteral("Exit?"));
            QCOMPARE(alert.buttons, (QStringList{"Cancel", "Exit"}));
            QCOMPARE(
                alert.accessoryText,
                QStringLiteral("We strongly recommend that you wait until the file operation is finished."));
            QCOMPARE(f.alerts.windows.first(), controller.myMainWindow());
        }
    }

    void uninstallHandsOverToTheUninstaller()
    {
        Fixture f;
        // A stale settings file of an earlier uninstaller goes to the Trash first.
        SettingsStore(SettingsStore::kUninstallerDomain).setObject(QVariantMap(), SettingsKeys::RedirectItem);
        QProcess helper;
        helper.start(statusExecutable(), {});
        QVERIFY(helper.waitForStarted());
        QVERIFY(TestPaths::waitForStatusHelper());

        f.alerts.answers = {1001};
        AppControler controller(f.services());
        QSignalSpy terminate(&controller, &AppControler::terminateRequested);
        controller.clickuninstall();
        QCOMPARE(f.alerts.shown.first().messageText, QStringLiteral("Uninstall Zorvane"));
        QVERIFY(!QFileInfo::exists(Paths::settingsFile(SettingsStore::kUninstallerDomain)));
        QCOMPARE(f.launcher.launched, QStringList{BundleLayout::uninstallerBundlePath()});
        QCOMPARE(terminate.size(), 1);
        QVERIFY2(helper.waitForFinished(10000), "the helper did not quit on HelperQuit");
    }

    void uninstallRefusals_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("title");
        QTest::newRow("busy") << true << "Unable to uninstall";
        QTest::newRow("cancelled") << false << "Uninstall Zorvane";
    }

    void uninstallRefusals()
    {
        QFETCH(bool, busy);
        QFETCH(QString, title);
        Fixture f;
        f.alerts.answers = {1000};
        GlobalVariable::sharedInstance().setScanProgress(busy);
        AppControler controller(f.services());
        QSignalSpy terminate(&controller, &AppControler::terminateRequested);
        QSignalSpy posted(&f.distributed, &DistributedNotificationCenter::notificationReceived);
        controller.clickuninstall();
        QCOMPARE(f.alerts.shown.size(), 1);
        QCOMPARE(f.alerts.shown.first().messageText, title);
        QVERIFY(f.launcher.launched.isEmpty());
        QVERIFY(terminate.isEmpty());
        QVERIFY(!posted.wait(300));
    }

    void loginItemsFollowTheSettings()
    {
        Fixture f;
        AppControler controller(f.services());
        controller.awakeFromNib();
        LoginItems& items = LoginItems::sharedLoginItems();
        f.settings.setObject(QStringLiteral("YES"), SettingsKeys::StartAtLogin);
        QVERIFY(items.hasItemWithDisplayName(QStringLiteral("Zorvane")));
        f.settings.setObject(QStringLiteral("NO"), SettingsKeys::HelperStartAtLogin);
        QVERIFY(!items.hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        f.settings.setObject(QStringLiteral("NO"), SettingsKeys::StartAtLogin);
        QVERIFY(!items.hasItemWithDisplayName(QStringLiteral("Zorvane")));
    }

    void pagesAndBubbles()
    {
        Fixture f;
        Records(f.settings)
            .setEntry(SettingsKeys::VaultItem, QStringLiteral("Data"),
                      QStringLiteral("/x/Data.sparsebundle"));
        AppControler controller(f.services());
        controller.awakeFromNib();
        controller.myMainWindow()->show();
        QStringList local;
        QObject observer;
        for (const QString& name : {NotificationNames::CloseTip, NotificationNames::DisplayScanHelp})
            f.local.addObserver(name, &observer,
                                [&local, name](QObject*, const QVariantMap&) { local << name; });

        controller.ClickSegmentButton(1);
        QCOMPARE(controller.myMainWindow()->box()->currentWidget(), controller.viewController(1));
        QVERIFY(controller.attachedWindow());
        QCOMPARE(controller.attachedWindow()->side(), 11);
        QCOMPARE(controller.attachedWindow()->distance(), 125.0);
        QCOMPARE(local, QStringList{NotificationNames::CloseTip});

        // The tip is shown once per window; ticking its box stops it for good.
        controller.tipViewCheck()->setChecked(true);
        controller.ClickTipView();
        QVERIFY(!controller.attachedWindow());
        QCOMPARE(f.settings.stringForKey(SettingsKeys::TipDisk), QStringLiteral("NO"));

        QSignalSpy helperMessage(&f.distributed, &DistributedNotificationCenter::notificationReceived);
        f.local.post(NotificationNames::GuideToUser);
        QVERIFY(controller.attachedWindow1());
        QCOMPARE(controller.attachedWindow1()->distance(), 10.0);
        QVERIFY(helperMessage.wait(5000));
        QCOMPARE(helperMessage.first().first().toString(), NotificationNames::HelperMessage);

        controller.ClickSegmentButton(0);
        QVERIFY(!controller.attachedWindow1());
        QCOMPARE(controller.myMainWindow()->box()->currentWidget(), controller.viewController(0));
        QCOMPARE(local.last(), NotificationNames::DisplayScanHelp);
    }

    void updateAnswers()
    {
        Fixture f;
        AppControler controller(f.services());
        QVERIFY(!controller.updaterShouldPostponeRelaunch());
        GlobalVariable::sharedInstance().setScanProgress(true);
        QVERIFY(controller.updaterShouldPostponeRelaunch());
        QCOMPARE(f.alerts.shown.first().messageText, QStringLiteral("Unable to relaunch"));

        QProcess helper;
        helper.start(statusExecutable(), {});
        QVERIFY(helper.waitForStarted());
        QTest::qWait(200);
        controller.updaterWillInstallUpdate();
        QVERIFY(helper.waitForFinished(5000));
    }

    // Quit, closing the main window and the uninstaller's start all end in terminateRequested.
    void closingTheMainWindowEndsTheEventLoop()
    {
        Fixture f;
        AppControler controller(f.services());
        controller.endEventLoopOnTerminate();
        controller.myMainWindow()->show();
        QTimer::singleShot(0, controller.myMainWindow(), &QWidget::close);
        QTimer watchdog; // a loop that never ends is ended here with another code
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        watchdog.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void theNewVaultSheetOutlivesTheMainWindow()
    {
        Fixture f;
        AddDiskSheet sheet; // owned by its creator, as in the program's main
        AppControlerServices services = f.services();
        services.createSheet = &sheet;
        {
            AppControler controller(services);
            sheet.present(controller.myMainWindow());
            QCOMPARE(sheet.parentWidget(), controller.myMainWindow());
        }
        QVERIFY(!sheet.parentWidget());
    }

    void helpAddresses()
    {
        Fixture f;
        AppControler controller(f.services());
        controller.clickonlinehelp();
        controller.clickonlinefaqs();
        controller.clickhelpuninstall();
        controller.sendFeedback();
        QCOMPARE(f.urls.opened.size(), 4);
        QCOMPARE(f.urls.opened.last().scheme(), QStringLiteral("mailto"));
        QVERIFY(f.urls.opened.last()
                    .toString(QUrl::FullyEncoded)
                    .endsWith(QStringLiteral("subject=Zorvane%20Feedback")));
    }
};

QTEST_MAIN(TestAppControler)
#include "TestAppControler.moc"

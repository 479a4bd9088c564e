// The helper's status menu and its watches, in process: the menu follows the settings and the
// mount table (changes made by other processes included) without rebuilding on idle ticks;
// its actions open and lock applications, folders and vaults through the real prompt and the
// checked eject, and never follow a link out of its vault; the vault and app-store watches.
// Real vaults and holders; scripted panel and alerts; notices recorded.
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "platform/FreedesktopNotices.h"
#include "platform/MountWatcher.h"
#include "status/StatusMenu.h"
#include "status/StatusMenuActions.h"
#include "status/VaultAutoLock.h"
#include "status/VaultWatch.h"
#include "tests/support/RecordingLauncher.h"
#include "tests/support/RecordingNotificationServer.h"
#include "tests/support/RecordingUrlOpener.h"
#include "tests/support/StatusFixture.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QUuid>

namespace {

using Panel = ScriptedPasswordPanel;

// The menu as lines: "Apps/Zim" for a locked entry, "Apps/Thunderbird/" and its "…/Open",
// "…/Lock" for an unlocked one, "-" for a separator.
QStringList describe(const QMenu* menu, const QString& prefix = {})
{
    QStringList lines;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            lines << prefix + QLatin1Char('-');
        } else if (QMenu* submenu = action->menu()) {
            lines << prefix + action->text() + QLatin1Char('/');
            lines << describe(submenu, prefix + action->text() + QLatin1Char('/'));
        } else {
            lines << prefix + action->text();
        }
    }
    return lines;
}

QAction* entry(const QMenu* menu, const QString& path)
{
    const QString first = path.section(QLatin1Char('/'), 0, 0);
    const QString rest = path.section(QLatin1Char('/'), 1);
    for (QAction* action : menu->actions()) {
        if (action->text() != first)
            continue;
        if (rest.isEmpty())
            return action;
        return action->menu() ? entry(action->menu(), rest) : nullptr;
    }
    return nullptr;
}

QString placeOf(const QString& item)
{
    return item == QLatin1String("Zim") ? Paths::home() + QStringLiteral("/Notebooks")
                                        : Paths::home() + QStringLiteral("/Documents/") + item;
}

} // namespace

class TestStatusMenu : public QObject
{
    Q_OBJECT

    StatusFixture m_fixture;
    RecordingUrlOpener m_files;
    RecordingLauncher m_launcher;
    std::unique_ptr<MountWatcher> m_mounts;
    std::unique_ptr<StatusMenuActions> m_actions;
    std::unique_ptr<StatusMenu> m_menu;
    std::unique_ptr<VaultWatch> m_watch;

    // Items of this test: Thunderbird (Mail) and Zim (Chat) from the catalogue, the custom
    // folders Taxes (Mail) and Journal (Chat); their places are links into the vaults.
    void protect(const QString& item, const QString& vault, bool folder)
    {
        const QString place = placeOf(item);
        QDir().mkpath(QFileInfo(place).path());
        QFile::remove(place);
        QFile::link(Paths::itemDataPath(vault, place), place);
        Records records(m_fixture.zorvane());
        records.setEntry(SettingsKeys::RedirectItem, item, vault);
        if (folder)
            records.setEntry(SettingsKeys::CustomFolderItem, item, place);
    }

    void makeMenu(NoticePort* notices = nullptr, QDBusConnection bus = QDBusConnection::sessionBus())
    {
        m_menu.reset();
        m_actions.reset();
        notices = notices ? notices : m_fixture.notices.get();
        m_actions = std::make_unique<StatusMenuActions>(
            m_fixture.controller.get(),
            StatusMenuServices{notices, &m_files, &m_launcher, &m_fixture.alerts, bus});
        m_menu = std::make_unique<StatusMenu>(m_fixture.controller.get(), m_actions.get(), notices,
                                              m_mounts.get());
        m_menu->finishlauch();
    }

    bool mounted(const QString& vault) const { return TestVaults::isMounted(vault); }
    void typePassword()
    {
        m_fixture.panel->script = {Panel::type(QString::fromUtf8(StatusFixture::kPassword)), Panel::ok()};
    }
    QStringList noticeTexts() const { return m_fixture.notices->texts(); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        QVERIFY2(m_fixture.setUp(), "the disk-image tool cannot make the test vaults");
        // The data the protects moved into the vaults.
        for (const auto& [vault, folder] :
             {std::pair{"Mail", "Taxes"}, {"Chat", "Journal"}, {"Chat", "Notebooks"}}) {
            QVERIFY(m_fixture.attach(QString::fromLatin1(vault)));
            const QString data =
                Paths::mountPoint(QString::fromLatin1(vault)) + QLatin1Char('/') + QLatin1String(folder);
            QVERIFY(QDir().mkpath(data));
            QFile file(data + QStringLiteral("/notes.txt"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("user data\n") == 10);
        }
        QVERIFY(TestVaults::detach(QStringLiteral("Mail")) && TestVaults::detach(QStringLiteral("Chat")));
    }

    void init()
    {
        m_fixture.reset();
        // The first-run tip has its own test.
        m_fixture.zorvane().setObject(QStringLiteral("YES"), SettingsKeys::NotFirstRunHelperApp);
        m_fixture.zorvane().setObject(QVariantMap(), SettingsKeys::RedirectItem);
        protect(QStringLiteral("Thunderbird"), QStringLiteral("Mail"), false);
        protect(QStringLiteral("Zim"), QStringLiteral("Chat"), false);
        protect(QStringLiteral("Taxes"), QStringLiteral("Mail"), true);
        protect(QStringLiteral("Journal"), QStringLiteral("Chat"), true);
        m_files.opened.clear();
        m_launcher.launched.clear();
        m_mounts = std::make_unique<MountWatcher>();
        makeMenu();
        m_watch = std::make_unique<VaultWatch>(m_fixture.controller.get(), m_fixture.notices.get());
    }

    void cleanup()
    {
        m_watch.reset();
        m_menu.reset();
        m_actions.reset();
        m_mounts.reset();
        m_fixture.tearDown();
    }

    // ---- The menu --------------------------------------------------------------------------------

    void theMenuListsWhatIsProtected_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing protected, no vaults") << true << QStringList{"Open Zorvane", "-", "Quit"};
        // Zim is a catalogue application, but protected here as a custom folder.
        QTest::newRow("folders, applications and vaults") << false
                                                          << QStringList{"Open Zorvane",
                                                                         "-",
                                                                         "Folders/",
                                                                         "Folders/Taxes/",
                                                                         "Folders/Taxes/Open",
                                                                         "Folders/Taxes/Lock",
                                                                         "Folders/Zim",
                                                                         "Apps/",
                                                                         "Apps/Geary",
                                                                         "Apps/Thunderbird/",
                                                                         "Apps/Thunderbird/Open",
                                                                         "Apps/Thunderbird/Lock",
                                                                         "Vaults/",
                                                                         "Vaults/Chat",
                                                                         "Vaults/Mail/",
                                                                         "Vaults/Mail/Open",
                                                                         "Vaults/Mail/Lock",
                                                                         "Vaults/Photos",
                                                                         "-",
                                                                         "Quit"};
    }

    void theMenuListsWhatIsProtected()
    {
        QFETCH(bool, empty);
        QFETCH(QStringList, expected);
        if (empty) {
            m_fixture.zorvane().removeObjectForKey(SettingsKeys::RedirectItem);
            m_fixture.zorvane().removeObjectForKey(SettingsKeys::VaultItem);
        } else {
            // Two applications and two folders, one of them named like a catalogue application.
            Records records(m_fixture.zorvane());
            records.removeEntry(SettingsKeys::RedirectItem, "Journal");
            records.setEntry(SettingsKeys::RedirectItem, "Geary", "Chat");
            m_fixture.zorvane().setObject(QVariantMap{{"Zim", placeOf("Zim")}, {"Taxes", placeOf("Taxes")}},
                                          SettingsKeys::CustomFolderItem);
            Records(m_fixture.zorvane())
                .setEntry(SettingsKeys::VaultItem, "Photos", "/nowhere/Photos.sparsebundle");
            QVERIFY(m_fixture.attach(QStringLiteral("Mail")));
        }
        makeMenu();
        QCOMPARE(describe(m_menu->newStatusMenu()), expected);
    }

    void entriesFollowChangesMadeElsewhere()
    {
        QSignalSpy finished(m_actions.get(), &StatusMenuActions::lockFinished);
        const int before = m_menu->rebuildCount();
        QVERIFY(entry(m_menu->newStatusMenu(), "Vaults/Mail"));
        // Attached and detached by the tool, not by the helper.
        QVERIFY(m_fixture.attach(QStringLiteral("Mail")));
        QTRY_VERIFY_WITH_TIMEOUT(entry(m_menu->newStatusMenu(), "Apps/Thunderbird/Lock"), 1000);
        QVERIFY(TestVaults::detach(QStringLiteral("Mail")));
        QTRY_VERIFY_WITH_TIMEOUT(entry(m_menu->newStatusMenu(), "Apps/Thunderbird") &&
                                     !entry(m_menu->newStatusMenu(), "Apps/Thunderbird")->menu(),
                                 1000);
        // Another program rewrites the protected items.
        QProcess writer;
        writer.start(TestPaths::helper(QStringLiteral("settings_writer")),
                     {SettingsStore::kZorvaneDomain, SettingsKeys::RedirectItem, QStringLiteral("1")});
        QVERIFY(writer.waitForFinished(10000) && writer.exitCode() == 0);
        QTRY_VERIFY_WITH_TIMEOUT(entry(m_menu->newStatusMenu(), "Apps/item7"), 1000);
        QVERIFY(!entry(m_menu->newStatusMenu(), "Apps/Thunderbird"));
        QCOMPARE(m_menu->rebuildCount(), before + 3);
        // The submenus of earlier builds are gone: only Apps and Vaults are left.
        QCOMPARE(m_menu->newStatusMenu()->findChildren<QMenu*>().size(), 2);
        QCOMPARE(finished.count(), 0);
    }

    void idleTicksAndLeftoverFoldersChangeNothing()
    {
        // A folder where Chat would be mounted, with nothing mounted on it, is no open vault.
        QVERIFY(QDir().mkpath(Paths::mountPoint(QStringLiteral("Chat"))));
        const QStringList before = describe(m_menu->newStatusMenu());
        const int rebuilds = m_menu->rebuildCount();
        for (int tick = 0; tick < 10; ++tick)
            m_menu->onTick();
        QCOMPARE(m_menu->rebuildCount(), rebuilds);
        QCOMPARE(describe(m_menu->newStatusMenu()), before);
        QVERIFY(before.contains("Folders/Journal") && before.contains("Vaults/Chat"));
        // Opening it asks for the password instead of showing the empty folder.
        m_fixture.panel->script = {Panel::cancel()};
        m_actions->openFolderApp(QStringLiteral("Journal"));
        QCOMPARE(m_fixture.panel->runs, 1);
        QCOMPARE(m_files.opened, QList<QUrl>{});
        QDir().rmdir(Paths::mountPoint(QStringLiteral("Chat")));
    }

    void anEntryRunsItsAction()
    {
        typePassword();
        QAction* mail = entry(m_menu->newStatusMenu(), "Vaults/Mail");
        QVERIFY(mail && !mail->menu());
        QCOMPARE(mail->data().toString(), QStringLiteral("Mail"));
        mail->trigger();
        QTRY_COMPARE(m_files.opened, QList<QUrl>{QUrl::fromLocalFile(Paths::mountPoint("Mail"))});
        QCOMPARE(m_fixture.panel->explanations,
                 QStringList{StatusAttachDiskImageController::promptExplanation(2, "Mail", "Mail")});
        QTRY_VERIFY_WITH_TIMEOUT(entry(m_menu->newStatusMenu(), "Vaults/Mail/Lock"), 1000);
    }

    void theIconAppearsWithATray()
    {
        QVERIFY(!m_menu->statusItem());
        const QString name = QStringLiteral("tray-") + QUuid::createUuid().toString(QUuid::Id128);
        QDBusConnection tray = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        QVERIFY(tray.registerService(StatusMenu::kWatcherService));
        QTRY_VERIFY(m_menu->statusItem());
        QCOMPARE(m_menu->statusItem()->toolTip(), QStringLiteral("Zorvane"));
        QCOMPARE(m_menu->statusItem()->contextMenu(), m_menu->newStatusMenu());
        // A dark panel gets the light glyph.
        const qint64 glyph = m_menu->statusItem()->icon().cacheKey();
        const QPalette before = QApplication::palette();
        QPalette dark = before;
        dark.setColor(QPalette::Window, QColor(0x24, 0x1f, 0x31));
        QApplication::setPalette(dark);
        QTRY_VERIFY(m_menu->statusItem()->icon().cacheKey() != glyph);
        QApplication::setPalette(before);
        tray.unregisterService(StatusMenu::kWatcherService);
        QDBusConnection::disconnectFromBus(name);
    }

    void theGlyphSuitsThePanel_data()
    {
        QTest::addColumn<QColor>("panel");
        QTest::addColumn<QString>("image");
        QTest::newRow("light panel") << QColor(0xf6, 0xf5, 0xf4) << ":/status/MainStatus.png";
        QTest::newRow("dark panel") << QColor(0x24, 0x1f, 0x31) << ":/status/MainStatusHighlight.png";
    }

    void theGlyphSuitsThePanel()
    {
        QFETCH(QColor, panel);
        QFETCH(QString, image);
        QCOMPARE(StatusMenu::statusImageFor(panel), image);
        QVERIFY(!QPixmap(image).isNull());
    }

    // Without a tray to point at, the first-run tip is a sticky notice, once.
    void theFirstRunTipIsANoticeWithoutATray()
    {
        m_fixture.zorvane().removeObjectForKey(SettingsKeys::NotFirstRunHelperApp);
        makeMenu();
        QVERIFY(!m_menu->statusItem());
        QCOMPARE(noticeTexts(), QStringList{StatusMenu::tipText()});
        QVERIFY(m_fixture.notices->notices.first().sticky);
        QVERIFY(m_fixture.helperSettings->boolForKey(SettingsKeys::NotFirstRunHelperApp));
        makeMenu();
        m_menu->onTick();
        QCOMPARE(noticeTexts().size(), 1);
    }

    // ---- Opening ---------------------------------------------------------------------------------

    void openingALockedVaultTellsOnce()
    {
        for (int round = 0; round < 2; ++round) {
            typePassword();
            m_actions->openMenuVaults(QStringLiteral("Mail"));
            QVERIFY(mounted("Mail"));
            QCOMPARE(m_files.opened.size(), round + 1);
            QVERIFY(TestVaults::detach(QStringLiteral("Mail")));
        }
        QCOMPARE(m_fixture.panel->runs, 2);
        QCOMPARE(noticeTexts(), QStringList{StatusMenuActions::openVaultMessage()});
        QVERIFY(m_fixture.notices->notices.first().sticky);
        QVERIFY(m_fixture.helperSettings->boolForKey(SettingsKeys::NoOpenVaultAttention));
    }

    void aDanglingFolderLinkUnlocksTheVault()
    {
        for (int round = 0; round < 2; ++round) {
            typePassword();
            m_actions->openFolderApp(QStringLiteral("Taxes"));
            QVERIFY(mounted("Mail"));
            QVERIFY(TestVaults::detach(QStringLiteral("Mail")));
        }
        QCOMPARE(m_fixture.panel->explanations.first(),
                 StatusAttachDiskImageController::promptExplanation(0, "Taxes", "Mail"));
        QCOMPARE(m_files.opened,
                 (QList<QUrl>{QUrl::fromLocalFile(placeOf("Taxes")), QUrl::fromLocalFile(placeOf("Taxes"))}));
        QCOMPARE(noticeTexts(), (QStringList{"Unlocked 'Taxes'", StatusMenuActions::manualLockMessage(),
                                             "Unlocked 'Taxes'"}));
    }

    void openingAnApplicationStartsIt_data()
    {
        QTest::addColumn<bool>("unlocked");
        QTest::newRow("locked: asked, then started") << false;
        QTest::newRow("unlocked: started") << true;
    }

    void openingAnApplicationStartsIt()
    {
        QFETCH(bool, unlocked);
        if (unlocked)
            QVERIFY(m_fixture.attach(QStringLiteral("Chat")));
        typePassword();
        unlocked ? m_actions->openAppSubitem(QStringLiteral("Zim"))
                 : m_actions->openMenuApp(QStringLiteral("Zim"));
        QCOMPARE(m_fixture.panel->runs, unlocked ? 0 : 1);
        QVERIFY(mounted("Chat"));
        // No apppath exists here: the last one is used.
        QCOMPARE(m_launcher.launched, QStringList{"/var/lib/flatpak/exports/bin/org.zim_wiki.Zim"});
        QCOMPARE(noticeTexts(), unlocked ? QStringList{} : QStringList{"Unlocked Zim"});
    }

    void aLinkLeadingElsewhereIsNotFollowed_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("unlocked");
        QTest::newRow("locked folder") << "Taxes" << false;
        QTest::newRow("unlocked folder") << "Taxes" << true;
        QTest::newRow("locked application") << "Thunderbird" << false;
        QTest::newRow("unlocked application") << "Thunderbird" << true;
    }

    void aLinkLeadingElsewhereIsNotFollowed()
    {
        QFETCH(QString, item);
        QFETCH(bool, unlocked);
        if (unlocked)
            QVERIFY(m_fixture.attach(QStringLiteral("Mail")));
        QTemporaryDir foreign;
        const QString place = item == "Taxes" ? placeOf(item) : StatusFixture::dataPlace(item);
        QFile::remove(place);
        QVERIFY(QFile::link(foreign.path(), place));
        typePassword();
        if (item == "Taxes")
            unlocked ? m_actions->openFolderSubitem(item) : m_actions->openFolderApp(item);
        else
            unlocked ? m_actions->openAppSubitem(item) : m_actions->openMenuApp(item);
        QCOMPARE(m_fixture.panel->runs, 0);
        QCOMPARE(m_files.opened, QList<QUrl>{});
        QCOMPARE(m_launcher.launched, QStringList{});
        QCOMPARE(QFile::symLinkTarget(place), foreign.path());
        QCOMPARE(noticeTexts(), QStringList{StatusMenuActions::foreignLinkText(item, place, foreign.path())});
        QVERIFY(m_fixture.notices->notices.first().sticky);
    }

    void openZorvaneOnlyWhenItDoesNotRun()
    {
        m_fixture.zorvane().setObject(QStringLiteral("/opt/Zorvane.app"), SettingsKeys::DefaultAppPath);
        QSignalSpy done(m_actions.get(), &StatusMenuActions::openZorvaneDone);
        const QString name = QStringLiteral("zorvane-") + QUuid::createUuid().toString(QUuid::Id128);
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        QVERIFY(other.registerService(StatusMenuActions::kZorvaneBusName));
        m_actions->openzorvane();
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(m_launcher.launched, QStringList{});
        QCOMPARE(noticeTexts(), QStringList{StatusMenuActions::alreadyRunningText()});
        QVERIFY(other.unregisterService(StatusMenuActions::kZorvaneBusName));
        QDBusConnection::disconnectFromBus(name);
        m_actions->openzorvane();
        QTRY_COMPARE(done.count(), 2);
        QCOMPARE(m_launcher.launched, QStringList{"/opt/Zorvane.app"});
    }

    // ---- Locking ---------------------------------------------------------------------------------

    void lockingUnmountsAndTells_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("notices");
        QTest::newRow("folder") << "folder"
                                << "Journal" << QStringList{"Locked 'Journal'"};
        QTest::newRow("application") << "application"
                                     << "Zim" << QStringList{"Locked Zim"};
        QTest::newRow("vault") << "vault"
                               << "Chat" << QStringList{};
    }

    void lockingUnmountsAndTells()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QStringList, notices);
        QVERIFY(m_fixture.attach(QStringLiteral("Chat")));
        QSignalSpy finished(m_actions.get(), &StatusMenuActions::lockFinished);
        if (kind == "folder")
            m_actions->lockFolderSubitem(name);
        else if (kind == "application")
            m_actions->lockAppSubitem(name);
        else
            m_actions->lockVaultSubitem(name);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0), (QVariantList{"Chat", true}));
        QVERIFY(!mounted("Chat"));
        QCOMPARE(noticeTexts(), notices);
    }

    void aHeldVaultStaysAndTheHolderIsNamed_data()
    {
        QTest::addColumn<bool>("notifications");
        QTest::newRow("notices on") << true;
        QTest::newRow("notices off: silent, nothing forced") << false;
    }

    void aHeldVaultStaysAndTheHolderIsNamed()
    {
        QFETCH(bool, notifications);
        m_fixture.zorvane().setObject(notifications ? "YES" : "NO", SettingsKeys::EnableNotifications);
        QVERIFY(m_fixture.attach(QStringLiteral("Chat")));
        const QString file = Paths::mountPoint("Chat") + QStringLiteral("/Journal/notes.txt");
        QProcess* holder =
            m_fixture.standIns.start(QStringLiteral("zvmenuholder"), {QStringLiteral("fd"), file});
        QVERIFY(holder);
        QSignalSpy finished(m_actions.get(), &StatusMenuActions::lockFinished);
        m_actions->lockVaultSubitem(QStringLiteral("Chat"));
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0), (QVariantList{"Chat", false}));
        QVERIFY(mounted("Chat"));
        QCOMPARE(holder->state(), QProcess::Running);
        QFile data(file);
        QVERIFY(data.open(QIODevice::ReadOnly));
        QCOMPARE(data.readAll(), QByteArray("user data\n"));
        if (!notifications) {
            QCOMPARE(m_fixture.notices->notices.size(), 0);
            return;
        }
        QCOMPARE(m_fixture.notices->notices.size(), 1);
        QCOMPARE(m_fixture.notices->notices.first().title, QStringLiteral("Vault in use"));
        QCOMPARE(noticeTexts(), QStringList{StatusMenuActions::vaultInUseText("zvmenuholder", "Chat")});
        QVERIFY(m_fixture.notices->notices.first().sticky);
    }

    void toolErrorsNameHolders_data()
    {
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("holders");
        QTest::newRow("two holders, one twice") << "hdiutil: detach: /v/Mail is in use by zvreader (pid 12), "
                                                   "evolution-sourc (pid 13), zvreader (pid 14)"
                                                << "zvreader,evolution-sourc";
        QTest::newRow("no holder named") << "hdiutil: detach: cannot unmount /v/Mail: busy" << QString();
        QTest::newRow("no error") << QString() << QString();
    }

    void toolErrorsNameHolders()
    {
        QFETCH(QString, error);
        QFETCH(QString, holders);
        QCOMPARE(VaultAutoLock::holdersInToolError(error), holders);
    }

    void quittingAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("quits");
        QTest::newRow("OK") << int(AlertPort::kFirstButton) << true;
        QTest::newRow("Cancel") << int(AlertPort::kSecondButton) << false;
    }

    void quittingAsksFirst()
    {
        QFETCH(int, answer);
        QFETCH(bool, quits);
        m_fixture.alerts.shown.clear();
        m_fixture.alerts.answers = {answer};
        QSignalSpy quit(m_fixture.controller.get(), &StatusAttachDiskImageController::helperShouldQuit);
        m_actions->quitself();
        QCOMPARE(quit.count(), quits ? 1 : 0);
        QCOMPARE(m_fixture.alerts.shown.size(), 1);
        QCOMPARE(m_fixture.alerts.shown.first().messageText, StatusMenuActions::quitHeader());
        QCOMPARE(m_fixture.alerts.shown.first().informativeText, StatusMenuActions::quitMessage());
        QCOMPARE(m_fixture.alerts.shown.first().buttons, (QStringList{"OK", "Cancel"}));
    }

    // ---- Watches ---------------------------------------------------------------------------------

    void aVanishedImageIsReportedOnce_data()
    {
        QTest::addColumn<QString>("monitorSwitch"); // "nomonitorvaults"
        QTest::newRow("told") << "NO";
        QTest::newRow("nomonitorvaults on: noted silently") << "YES";
    }

    void aVanishedImageIsReportedOnce()
    {
        QFETCH(QString, monitorSwitch);
        m_fixture.zorvane().setObject(monitorSwitch, SettingsKeys::NoMonitorVaults);
        // A vault of no protected item is not watched.
        Records(m_fixture.zorvane())
            .setEntry(SettingsKeys::VaultItem, "Photos", "/nowhere/Photos.sparsebundle");
        const QString image = m_fixture.image(QStringLiteral("Chat"));
        const QString trashed = Paths::dataHome() + QStringLiteral("/Trash/files/Chat.sparsebundle");
        QDir().mkpath(QFileInfo(trashed).path());
        for (int round = 0; round < 2; ++round) {
            QVERIFY(QFile::rename(image, trashed));
            m_watch->MonitorVaults();
            m_watch->MonitorVaults();
            QVERIFY(QFile::rename(trashed, image));
            m_watch->MonitorVaults();
            m_fixture.zorvane().setObject(QStringLiteral("NO"), SettingsKeys::NoMonitorVaults);
        }
        QCOMPARE(m_watch->deleteVaults(), QStringList{image});
        if (monitorSwitch == "YES") {
            QCOMPARE(m_fixture.notices->notices.size(), 0);
            return;
        }
        QCOMPARE(m_fixture.notices->notices.size(), 1);
        QCOMPARE(m_fixture.notices->notices.first().title, QStringLiteral("Warning!"));
        QCOMPARE(noticeTexts().first(),
                 QStringLiteral(
                     "\r\nZorvane can't locate the vault: \"Chat\", which is stored in the  %1 folder, the "
                     "vault still contains your encrypted files, if you delete the vault file in careless, "
                     "please move it back from the trash.\r\n\r\nThis message will only be displayed once.")
                     .arg(QFileInfo(image).path()));
        QVERIFY(m_fixture.notices->notices.first().sticky);
    }

    void aVaultOnAShareThatIsAwayIsNotMissing()
    {
        const QString image = QStringLiteral("/nonexistent-share/Vaults/Chat.sparsebundle");
        Records records(m_fixture.zorvane());
        records.setEntry(SettingsKeys::VaultItem, "Chat", image);
        records.setEntry(SettingsKeys::NetworkVaultItem, image, "smb://server/share");
        m_watch->MonitorVaults();
        QCOMPARE(m_watch->deleteVaults(), QStringList{});
        QCOMPARE(m_fixture.notices->notices.size(), 0);
    }

    void appStorePlacesBecomeEmptyFolders_data()
    {
        QTest::addColumn<QString>("setup"); // what is at the place
        QTest::addColumn<bool>("emptyFolder");
        QTest::newRow("dangling link") << "dangling" << true;
        QTest::newRow("nothing") << "missing" << true;
        QTest::newRow("a real folder with files") << "folder" << false;
        QTest::newRow("a relative path") << "relative" << false;
    }

    void appStorePlacesBecomeEmptyFolders()
    {
        QFETCH(QString, setup);
        QFETCH(bool, emptyFolder);
        QTemporaryDir work;
        QVERIFY(QDir::setCurrent(work.path()));
        QString place = Paths::home() + QStringLiteral("/.var/app/org.example.Notes");
        QDir().mkpath(QFileInfo(place).path());
        if (setup == "dangling") {
            QVERIFY(QFile::link(Paths::itemDataPath("Chat", place), place));
        } else if (setup == "folder") {
            QVERIFY(QDir().mkpath(place));
            QFile file(place + QStringLiteral("/notes.db"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
        } else if (setup == "relative") {
            place = QStringLiteral("org.example.Notes");
        }
        Records(m_fixture.zorvane()).setEntry(SettingsKeys::AppStoreItems, "Notes", place);
        m_watch->start();
        if (emptyFolder) {
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(place).isDir() && !QFileInfo(place).isSymLink(), 1500);
            QCOMPARE(QDir(place).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
        } else {
            QTest::qWait(1300);
            if (setup == "folder")
                QCOMPARE(QDir(place).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                         QStringList{"notes.db"});
            else
                QVERIFY(!QFileInfo::exists(work.filePath(place)));
        }
        QDir(Paths::home() + QStringLiteral("/.var")).removeRecursively();
        QDir::setCurrent(QDir::homePath());
    }

    void mountEventsOfVaultsAreTold()
    {
        connect(m_mounts.get(), &MountWatcher::didMount, m_watch.get(), &VaultWatch::didMount);
        connect(m_mounts.get(), &MountWatcher::didUnmount, m_watch.get(), &VaultWatch::didUnmount);
        QVERIFY(m_fixture.attach(QStringLiteral("Mail")));
        QTRY_COMPARE(noticeTexts(), QStringList{"Unlocked vault: Mail"});
        QVERIFY(TestVaults::detach(QStringLiteral("Mail")));
        QTRY_COMPARE(noticeTexts(), (QStringList{"Unlocked vault: Mail", "Locked vault: Mail"}));
        // Elsewhere than below the volumes root, a folder of the same name is no vault.
        m_watch->didMount(QStringLiteral("/media/usb/Mail"));
        QCOMPARE(noticeTexts().size(), 2);
    }

    // One-time messages count as shown only once the notification service took them.
    void oneTimeFlagsWaitForTheService()
    {
        FreedesktopNotices notices;
        makeMenu(&notices);
        QVERIFY(m_fixture.attach(QStringLiteral("Mail")));
        m_actions->openVaultSubitem(QStringLiteral("Mail"));
        QTRY_COMPARE(notices.pendingCalls(), 0);
        QVERIFY(!m_fixture.helperSettings->boolForKey(SettingsKeys::NoOpenVaultAttention));
        RecordingNotificationServer server;
        QVERIFY(server.start());
        m_actions->openVaultSubitem(QStringLiteral("Mail"));
        QTRY_VERIFY(m_fixture.helperSettings->boolForKey(SettingsKeys::NoOpenVaultAttention));
        QCOMPARE(server.notices.size(), 1);
        QCOMPARE(server.notices.first().expireTimeout, 0);
        server.stop();
    }
};

QTEST_MAIN(TestStatusMenu)
#include "TestStatusMenu.moc"

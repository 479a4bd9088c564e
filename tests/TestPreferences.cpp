#include "app/prefs/AppPrefsWindowController.h"
#include "app/prefs/PassSelfController.h"
#include "app/prefs/QtSelfPassDialog.h"
#include "app/shell/AppControler.h"
#include "app/shell/Updater.h"
#include "core/catalogue/AesEncryptor.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SelfProtectionKey.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/LoginItems.h"
#include "core/system/LoginItemsAE.h"
#include "core/vault/AttachDiskImageController.h"
#include "tests/support/AppControlerFixture.h"
#include "tests/support/FeedServer.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/ScriptedPrefsPort.h"
#include "tests/support/ScriptedSelfPassDialog.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

namespace {

// A feed offering version 1.10 for download at url.
QByteArray feedOffering(const QByteArray& url)
{
    return "<rss xmlns:zv=\"https://www.tarnwick.com/xml/appcast\"><channel><item><title>Zorvane 1.10</title>"
           "<enclosure url=\"" +
           url + "\" zv:version=\"1.10\"/></item></channel></rss>";
}

const QByteArray kFeed = feedOffering("https://example.invalid/get?v=1.10&amp;x=1");

using Dialog = ScriptedSelfPassDialog;

int modeOf(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Every message logged while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines = &lines;
        QLoggingCategory::setFilterRules(QStringLiteral("zorvane.*.debug=true"));
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { s_lines->append(text); });
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QString());
        s_lines = nullptr;
    }
    QStringList lines;

private:
    static inline QStringList* s_lines = nullptr;
    QtMessageHandler m_previous;
};

// Zorvane as it starts, with the preferences window on the same settings.
struct Fixture : AppControlerFixture
{
    ScriptedPrefsPort port;
    Dialog selfPass;
    Updater updater{settings, QStringLiteral("1.0")};
    std::unique_ptr<AppControler> app;
    std::unique_ptr<AppPrefsWindowController> prefs;

    Fixture()
    {
        AppControlerServices s = services();
        s.updater = &updater;
        app = std::make_unique<AppControler>(s);
        app->awakeFromNib();

        AppPrefsServices p;
        p.settings = &settings;
        p.alerts = &alerts;
        p.port = &port;
        p.selfPass = &selfPass;
        p.updater = &updater;
        p.version = QStringLiteral("1.0");
        prefs = std::make_unique<AppPrefsWindowController>(p);
        prefs->showWindow();
    }

    QCheckBox* box(const QString& name) const
    {
        return prefs->generalPreferenceView()->findChild<QCheckBox*>(name);
    }
};

// The helper's view of the settings: its own domain, then Zorvane's.
bool helperReads(const QString& key)
{
    SettingsStore helper(SettingsStore::kStatusDomain);
    helper.addSuiteNamed(SettingsStore::kZorvaneDomain);
    return helper.boolForKey(key);
}

std::optional<AutostartEntry> loginEntry(const QString& name)
{
    const auto items = LoginItemsAE::items();
    for (const LoginItemsAE::Item& item : items.value_or(QList<LoginItemsAE::Item>())) {
        if (item.entry.name == name)
            return item.entry;
    }
    return std::nullopt;
}

QString readAllOf(const QString& folder)
{
    QString text;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

// The self-protection dialog with its Qt window.
struct RealDialog
{
    SettingsStore settings{SettingsStore::kZorvaneDomain};
    ScriptedAlertPort alerts;
    QtSelfPassDialog dialog;
    PassSelfController controller{settings, alerts, dialog};
};

class EmptyPrefs : public PrefsWindowController
{
protected:
    void setupToolbar() override {}
};

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        BundleLayout::setMainBundlePath(TestPaths::appDir());
        TestVaults::useCheapKeyDerivation();
    }

    void init()
    {
        const QString keyFolder = QFileInfo(Paths::keyFile()).absolutePath();
        QFile::setPermissions(keyFolder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::remove(keyFolder);
        for (const QString& dir :
             {Paths::settingsFolder(), Paths::defaultVaultFolder(), keyFolder,
              Paths::configHome() + QStringLiteral("/autostart"),
              QDir::homePath() + QStringLiteral("/Elsewhere"), Paths::mountPoint(QStringLiteral("Data"))})
            QDir(dir).removeRecursively();
    }

    // Each box starts at the stored value (registered defaults included), and every click is
    // stored at once where a fresh store and the helper read it; login items follow.
    void switches_data()
    {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("loginItem");
        QTest::newRow("start at login") << "StartupWithSystem" << SettingsKeys::StartAtLogin << "Zorvane";
        QTest::newRow("helper at login")
            << "HelperStartup" << SettingsKeys::HelperStartAtLogin << "ZorvaneHelper";
        QTest::newRow("unlock at start") << "StartupOpenVaults" << SettingsKeys::MountAtStart << "";
        QTest::newRow("auto-lock") << "AutoLock" << SettingsKeys::AutoLock << "";
        QTest::newRow("notifications") << "EnableNotifications" << SettingsKeys::EnableNotifications << "";
        QTest::newRow("update checks") << "CheckUpdates" << SettingsKeys::SUEnableAutomaticChecks << "";
    }

    void switches()
    {
        QFETCH(QString, boxName);
        QFETCH(QString, key);
        QFETCH(QString, loginItem);
        Fixture f;
        QCheckBox* box = f.box(boxName);
        QVERIFY(box);
        if (key == SettingsKeys::MountAtStart) {
            QVERIFY(!box->isEnabled());
            f.prefs->StartupWithSystem()->click();
            QVERIFY(box->isEnabled());
        }
        const bool initial = f.settings.boolForKey(key);
        QCOMPARE(box->isChecked(), initial);
        for (const bool expected : {!initial, initial}) {
            box->click();
            QCOMPARE(box->isChecked(), expected);
            QCOMPARE(SettingsStore(SettingsStore::kZorvaneDomain).boolForKey(key), expected);
            QCOMPARE(helperReads(key), expected);
            if (key == SettingsKeys::SUEnableAutomaticChecks)
                QCOMPARE(helperReads(SettingsKeys::CheckUpdatesAutomatically), expected);
            if (!loginItem.isEmpty())
                QCOMPARE(LoginItems::sharedLoginItems().hasItemWithDisplayName(loginItem), expected);
        }
    }

    void startAtLoginOffClearsUnlockAtStart()
    {
        Fixture f;
        f.prefs->StartupWithSystem()->click();
        f.prefs->StartupOpenVaults()->click();
        QVERIFY(f.settings.boolForKey(SettingsKeys::MountAtStart));
        f.prefs->StartupWithSystem()->click();
        QVERIFY(!f.prefs->StartupOpenVaults()->isChecked());
        QVERIFY(!f.prefs->StartupOpenVaults()->isEnabled());
        QCOMPARE(SettingsStore(SettingsStore::kZorvaneDomain).stringForKey(SettingsKeys::MountAtStart),
                 QStringLiteral("NO"));
        QVERIFY(!LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("Zorvane")));
    }

    void helperEntryStartsTheHelper()
    {
        Fixture f;
        QCheckBox* box = f.box(QStringLiteral("HelperStartup"));
        box->click();
        QVERIFY(!loginEntry(QStringLiteral("ZorvaneHelper")));
        box->click();
        const auto entry = loginEntry(QStringLiteral("ZorvaneHelper"));
        QVERIFY(entry && !entry->exec.isEmpty());
        QProcess helper;
        helper.start(entry->exec.first(), entry->exec.mid(1));
        QVERIFY(helper.waitForStarted());
        const bool up = TestPaths::waitForStatusHelper();
        helper.terminate();
        QVERIFY(helper.waitForFinished(10000));
        QVERIFY2(up, "the login entry did not start ZorvaneStatus");
    }

    void updateBoxDrivesAutomaticChecks()
    {
        FeedServer server(kFeed);
        Fixture f;
        f.settings.setObject(server.url(), Updater::kFeedUrlKey);
        QSignalSpy answered(&f.updater, &Updater::updateFound);
        QVERIFY(f.prefs->checkUpdates()->isChecked());
        f.prefs->checkUpdates()->click();
        f.updater.checkIfDue();
        QVERIFY(!answered.wait(300));
        QCOMPARE(server.requests, 0);
        f.prefs->checkUpdates()->click();
        f.updater.checkIfDue();
        QVERIFY(answered.wait(10000));
        QCOMPARE(server.requests, 1);
    }

    void selfProtectionWithTheRealStart()
    {
        LogCapture log;
        {
            Fixture f;
            QVERIFY(!f.prefs->SelfProtection()->isChecked());
            f.selfPass.script = Dialog::set(QStringLiteral("s3cret"));
            f.prefs->SelfProtection()->click();
            QVERIFY(f.prefs->SelfProtection()->isChecked());
            QCOMPARE(f.selfPass.parents, QList<QWidget*>{f.prefs->window()});
            QVERIFY(f.selfPass.password().isEmpty());
            QFile key(Paths::keyFile());
            QVERIFY(key.open(QIODevice::ReadOnly));
            QCOMPARE(
                AesEncryptor::decryptBase64String(QString::fromUtf8(key.readAll()), QStringLiteral("s3cret")),
                QStringLiteral("velmarinquostaplewix"));
            QCOMPARE(modeOf(Paths::keyFile()), 0600);
            QCOMPARE(modeOf(QFileInfo(Paths::keyFile()).absolutePath()), 0700);
            QCOMPARE(SettingsStore(SettingsStore::kZorvaneDomain).stringForKey(SettingsKeys::PassSelf),
                     QStringLiteral("YES"));
        }
        {
            Fixture f;
            QVERIFY(f.prefs->SelfProtection()->isChecked());
            f.selfUnlock.script = {QStringLiteral("nope"), QStringLiteral("s3cret")};
            QVERIFY(f.app->applicationWillFinishLaunching());
            QCOMPARE(f.selfUnlock.infos.count(QStringLiteral("Password is incorrect")), 1);
            f.selfUnlock.script = {std::nullopt};
            QVERIFY(!f.app->applicationWillFinishLaunching());

            f.prefs->SelfProtection()->click();
            QVERIFY(!QFileInfo::exists(Paths::keyFile()));
            QVERIFY(f.alerts.shown.isEmpty());
        }
        Fixture f;
        QVERIFY(!f.prefs->SelfProtection()->isChecked());
        QVERIFY(f.app->applicationWillFinishLaunching());
        QCOMPARE(f.selfUnlock.runs, 0);
        QVERIFY(f.settings.boolForKey(SettingsKeys::PassSelf));
        QVERIFY(!log.lines.join(QLatin1Char('\n')).contains(QStringLiteral("s3cret")));
        QVERIFY(!readAllOf(Paths::settingsFolder()).contains(QStringLiteral("s3cret")));
    }

    // The key file can't be written or removed: the user is told and the box shows the truth.
    void selfProtectionFailures_data()
    {
        QTest::addColumn<bool>("turningOn");
        QTest::addColumn<QString>("title");
        QTest::newRow("a file where the key folder belongs") << true << "Unable to turn on self-protection";
        QTest::newRow("a folder with content where the key file belongs")
            << false << "Unable to turn off self-protection";
    }

    void selfProtectionFailures()
    {
        QFETCH(bool, turningOn);
        QFETCH(QString, title);
        const QString keyFolder = QFileInfo(Paths::keyFile()).absolutePath();
        QDir().mkpath(QFileInfo(keyFolder).absolutePath());
        if (turningOn) {
            QFile blocker(keyFolder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(Paths::keyFile()));
            QFile inside(Paths::keyFile() + QStringLiteral("/keep"));
            QVERIFY(inside.open(QIODevice::WriteOnly));
        }
        Fixture f;
        QCOMPARE(f.prefs->SelfProtection()->isChecked(), !turningOn);
        f.selfPass.script = Dialog::set(QStringLiteral("pw"));
        f.prefs->SelfProtection()->click();

        QCOMPARE(f.alerts.shown.size(), 1);
        QCOMPARE(f.alerts.shown.first().messageText, title);
        QVERIFY(f.alerts.shown.first().informativeText.contains(Paths::keyFile()));
        QCOMPARE(f.prefs->SelfProtection()->isChecked(), !turningOn);
        QVERIFY(!SettingsStore(SettingsStore::kZorvaneDomain).objectForKey(SettingsKeys::PassSelf).isValid());
        if (turningOn) {
            QCOMPARE(f.alerts.windows.first(), f.selfPass.window());
            QVERIFY(QFileInfo(keyFolder).isFile());
            QVERIFY(f.selfPass.password().isEmpty());
        } else {
            QVERIFY(QFileInfo::exists(Paths::keyFile() + QStringLiteral("/keep")));
        }
    }

    void dialogTexts_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("repeat");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QColor>("color");
        QTest::newRow("match") << "abc"
                               << "abc"
                               << "Passwords match" << QColor::fromRgbF(0.0f, 0.6f, 0.3f, 1.0f);
        QTest::newRow("mismatch") << "abc"
                                  << "abd"
                                  << "Passwords do not match" << QColor(Qt::red);
        QTest::newRow("two empty fields") << ""
                                          << ""
                                          << "Passwords match" << QColor::fromRgbF(0.0f, 0.6f, 0.3f, 1.0f);
    }

    void dialogTexts()
    {
        QFETCH(QString, password);
        QFETCH(QString, repeat);
        QFETCH(QString, info);
        QFETCH(QColor, color);
        RealDialog real;
        QtSelfPassDialog& dialog = real.dialog;
        PassSelfController& controller = real.controller;
        controller.awakeFromNib();
        dialog.show();
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("okPass"));
        auto* passInfo = dialog.findChild<QLabel*>(QStringLiteral("PassInfo"));
        QVERIFY(ok && passInfo && !ok->isEnabled());

        // Typing elsewhere in the program leaves the status line alone.
        QLineEdit elsewhere;
        QTest::keyClicks(&elsewhere, QStringLiteral("zz"));
        controller.textDidChange(&elsewhere);
        QVERIFY(passInfo->text().isEmpty());

        const QList<QPair<QString, QString>> fields{{QStringLiteral("PassWord"), password},
                                                    {QStringLiteral("RepeatPassWord"), repeat}};
        for (const auto& [name, text] : fields) {
            auto* field = dialog.findChild<QLineEdit*>(name);
            QVERIFY(field && field->echoMode() == QLineEdit::Password);
            QTest::keyClicks(field, text.isEmpty() ? QStringLiteral("x") : text);
            if (text.isEmpty())
                QTest::keyClick(field, Qt::Key_Backspace);
        }
        QCOMPARE(passInfo->text(), info);
        QCOMPARE(passInfo->palette().color(QPalette::WindowText), color);
        QCOMPARE(ok->isEnabled(), password == repeat);
    }

    // The real dialog, run modally: its fields are empty afterwards however it ended.
    void dialogEndsCleared_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("code");
        QTest::newRow("OK") << "okPass" << 2;
        QTest::newRow("Cancel") << "cancelPass" << 1;
    }

    void dialogEndsCleared()
    {
        QFETCH(QString, button);
        QFETCH(int, code);
        RealDialog real;
        QtSelfPassDialog& dialog = real.dialog;
        PassSelfController& controller = real.controller;
        QTimer::singleShot(0, &dialog, [&] {
            QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("PassWord")), QStringLiteral("pw1"));
            QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("RepeatPassWord")),
                             QStringLiteral("pw1"));
            dialog.findChild<QPushButton*>(button)->click();
        });
        QCOMPARE(controller.runModal(nullptr), code);
        QVERIFY(dialog.password().isEmpty() && dialog.repeatPassword().isEmpty());
        QCOMPARE(SelfProtectionKey::exists(), code == 2);
        QCOMPARE(SelfProtectionKey::matches(QStringLiteral("pw1")), code == 2);
    }

    // "Other..": the chosen folder goes to the top and into both keys; cancel and refusals
    // leave the choice as it was.
    void vaultFolder_data()
    {
        QTest::addColumn<QString>("chosen"); // below home; empty is Cancel
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("changes");
        QTest::addColumn<bool>("refused");
        QTest::newRow("new folder") << "Elsewhere/Vaults" << QStringList{"Vaults", "Zorvane", "Other.."}
                                    << "Vaults" << true << false;
        QTest::newRow("cancel") << "" << QStringList{"Zorvane", "Other.."} << "Zorvane" << false << false;
        QTest::newRow("a listed name again")
            << "Elsewhere/Zorvane" << QStringList{"Zorvane", "Zorvane", "Other.."} << "Zorvane" << true
            << false;
        QTest::newRow("inside the volumes root")
            << ".local/share/Zorvane/Volumes/Data/New" << QStringList{"Zorvane", "Other.."} << "Zorvane"
            << false << true;
    }

    void vaultFolder()
    {
        QFETCH(QString, chosen);
        QFETCH(QStringList, entries);
        QFETCH(QString, selected);
        QFETCH(bool, changes);
        QFETCH(bool, refused);
        const QString folder = chosen.isEmpty() ? QString() : QDir::homePath() + QLatin1Char('/') + chosen;
        if (!folder.isEmpty())
            QVERIFY(QDir().mkpath(folder));
        Fixture f;
        const QString before = f.settings.stringForKey(SettingsKeys::DefaultVaultLocation);
        QComboBox* popup = f.prefs->VaultsLocation();
        QCOMPARE(popup->currentText(), QStringLiteral("Zorvane"));
        f.port.folders = {folder};
        popup->setCurrentIndex(popup->count() - 1);
        Q_EMIT popup->activated(popup->count() - 1);

        QCOMPARE(f.port.startFolders, QStringList{QDir::homePath()});
        QStringList shown;
        for (int i = 0; i < popup->count(); ++i)
            shown << popup->itemText(i);
        QCOMPARE(shown, entries);
        QCOMPARE(popup->currentText(), selected);
        QCOMPARE(popup->currentIndex(), 0);
        SettingsStore fresh(SettingsStore::kZorvaneDomain);
        QCOMPARE(fresh.stringForKey(SettingsKeys::DefaultVaultLocation), changes ? folder : before);
        QCOMPARE(fresh.dictionaryForKey(SettingsKeys::VaultsLocation).value(selected).toString(),
                 changes ? folder : before);
        QCOMPARE(f.alerts.shown.size(), refused ? 1 : 0);
    }

    void existingVaultsStayWhereTheyAre()
    {
        const QString folder = Paths::defaultVaultFolder();
        QVERIFY(QDir().mkpath(folder));
        const QString first = TestVaults::create(folder, QStringLiteral("PrefsOne"), "pw-one");
        const QString second = TestVaults::create(folder, QStringLiteral("PrefsTwo"), "pw-two");
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        const QVariantMap records{{QStringLiteral("PrefsOne"), first}, {QStringLiteral("PrefsTwo"), second}};
        {
            Fixture f;
            f.settings.setObject(records, SettingsKeys::VaultItem);
            QDir().mkpath(QDir::homePath() + QStringLiteral("/Elsewhere"));
            f.port.folders = {QDir::homePath() + QStringLiteral("/Elsewhere")};
            f.prefs->clickpopupbutton(f.prefs->VaultsLocation()->count() - 1);
            QCOMPARE(f.settings.stringForKey(SettingsKeys::DefaultVaultLocation),
                     QDir::homePath() + QStringLiteral("/Elsewhere"));
        }
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        QCOMPARE(settings.dictionaryForKey(SettingsKeys::VaultItem), records);
        ScriptedPasswordPanel panel;
        using P = ScriptedPasswordPanel;
        panel.script = {P::type(QStringLiteral("pw-one")), P::ok(), P::type(QStringLiteral("pw-two")),
                        P::ok()};
        UnlockServices services;
        services.settings = &settings;
        services.panel = &panel;
        AttachDiskImageController unlocker(services);
        QCOMPARE(unlocker.mountDiskImageAtPath(first), 1);
        QCOMPARE(unlocker.mountDiskImageAtPath(second), 1);
        QVERIFY(TestVaults::detach(QStringLiteral("PrefsOne")));
        QVERIFY(TestVaults::detach(QStringLiteral("PrefsTwo")));
    }

    void windowPages()
    {
        Fixture f;
        QMainWindow* window = f.prefs->window();
        QCOMPARE(f.prefs->toolbarIdentifiers(),
                 (QStringList{QStringLiteral("General"), QStringLiteral("Version")}));
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("General"));
        QCOMPARE(f.prefs->currentView(), f.prefs->generalPreferenceView());
        QVERIFY(f.prefs->toolbarItem(QStringLiteral("General"))->isChecked());
        QCOMPARE(f.prefs->animationDuration(), PrefsWindowController::kFadeMs);

        const QRect before = window->geometry();
        const int chrome = before.height() - f.prefs->generalPreferenceView()->height();
        f.prefs->toolbarItem(QStringLiteral("Version"))->trigger();
        QVERIFY(f.prefs->isAnimating());
        QTRY_VERIFY(!f.prefs->isAnimating());
        QCOMPARE(window->windowTitle(), QStringLiteral("Version"));
        QVERIFY(f.prefs->toolbarItem(QStringLiteral("Version"))->isChecked());
        QVERIFY(f.prefs->versionPreferenceView()->isVisible());
        QVERIFY(!f.prefs->generalPreferenceView()->isVisible());
        const QRect after = window->geometry();
        QCOMPARE(after.top(), before.top());
        QCOMPARE(after.height(), f.prefs->versionPreferenceView()->height() + chrome);
        QCOMPARE(f.prefs->versioninfo()->text(), QStringLiteral("Zorvane 1.0"));
        QVERIFY(f.prefs->lastscantime()->text().isEmpty());

        // Holding Shift slows the change down, unless that is switched off.
        QTest::keyPress(window, Qt::Key_Shift, Qt::ShiftModifier);
        QCOMPARE(f.prefs->animationDuration(), PrefsWindowController::kSlowFadeMs);
        f.prefs->setShiftSlowsAnimation(false);
        QCOMPARE(f.prefs->animationDuration(), PrefsWindowController::kFadeMs);
        QTest::keyRelease(window, Qt::Key_Shift);

        // Shown again: the first page, without animation.
        f.prefs->showWindow();
        QVERIFY(!f.prefs->isAnimating());
        QCOMPARE(window->windowTitle(), QStringLiteral("General"));
        QCOMPARE(window->geometry(), before);
    }

    void programmingErrors()
    {
        EmptyPrefs prefs;
        QTest::ignoreMessage(QtCriticalMsg,
                             "Attempted to add a nil view when calling -addView:label:image:.");
        prefs.addView(nullptr, QStringLiteral("General"));
        QTest::ignoreMessage(QtCriticalMsg, "No items were added to the toolbar in -setupToolbar.");
        prefs.showWindow();
        QVERIFY(!prefs.window()->isVisible());
    }

    void checkNowAnswers_data()
    {
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("recorded");
        QTest::newRow("newer")
            << kFeed << 200
            << "Zorvane 1.10 is available: <a href=\"https://example.invalid/get?v=1.10&amp;x=1\">" << true;
        QTest::newRow("newer, not a web address")
            << feedOffering("file:///etc/passwd") << 200 << "Zorvane 1.10 is available." << true;
        QTest::newRow("up to date") << QByteArray("<rss><channel/></rss>") << 200 << "Zorvane is up to date."
                                    << true;
        QTest::newRow("failed") << QByteArray("gone") << 404 << "The update check failed: " << false;
    }

    void checkNowAnswers()
    {
        QFETCH(QByteArray, feed);
        QFETCH(int, status);
        QFETCH(QString, answer);
        QFETCH(bool, recorded);
        FeedServer server(feed, status);
        Fixture f;
        f.settings.setObject(server.url(), Updater::kFeedUrlKey);
        f.prefs->displayViewForIdentifier(QStringLiteral("Version"), false);
        f.prefs->checkNowButton()->click();
        QVERIFY(!f.prefs->checkNowButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(f.prefs->checkNowButton()->isEnabled(), 10000);
        QVERIFY2(f.prefs->updateinfo()->text().startsWith(answer), qPrintable(f.prefs->updateinfo()->text()));
        QCOMPARE(f.prefs->lastscantime()->text().isEmpty(), !recorded);
        if (recorded)
            QCOMPARE(f.prefs->lastscantime()->text(),
                     AppPrefsWindowController::lastCheckText(
                         f.settings.objectForKey(SettingsKeys::SULastCheckTime)));
    }
};

QTEST_MAIN(TestPreferences)
#include "TestPreferences.moc"

// Every dialog, sheet and tip of the desktop programs used from the keyboard alone, on the
// offscreen platform: each control a screen reader reaches has a name, Tab visits the controls
// in reading order, Return has a default button where there is an OK, and Escape cancels and
// leaves no password in a field.
#include "app/prefs/AppPrefsWindowController.h"
#include "app/prefs/PassSelfController.h"
#include "app/prefs/QtSelfPassDialog.h"
#include "app/shell/AppControler.h"
#include "app/shell/MainWindow.h"
#include "app/shell/QtSelfUnlockPanel.h"
#include "app/vaults/AddDiskSheet.h"
#include "app/vaults/QtVaultPagePort.h"
#include "app/vaults/VaultMaintenance.h"
#include "app/vaults/item2.h"
#include "app/vaults/resizedisk.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/system/BundleLayout.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/AppControlerFixture.h"
#include "tests/support/ScriptedPrefsPort.h"
#include "tests/support/ScriptedVaultPagePort.h"
#include "tests/support/TestPaths.h"
#include "ui/QtAlertPort.h"
#include "ui/QtPasswordPanel.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <functional>

namespace {

// What a screen reader announces for a control. Qt on Linux names a pop-up after its current
// item and ties its label to it through a relation, so that label is the pop-up's name here.
QString spokenName(QWidget* widget)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    if (!iface)
        return {};
    QString name = iface->text(QAccessible::Name);
    if (qobject_cast<QComboBox*>(widget)) {
        const auto labels = iface->relations(QAccessible::Label);
        name = !widget->accessibleName().isEmpty() ? widget->accessibleName()
               : labels.isEmpty()                  ? QString()
                                                   : labels.constFirst().first->text(QAccessible::Name);
    }
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    return name;
}

bool reachable(QWidget* widget, QWidget* window)
{
    return widget->isVisibleTo(window) && (widget->focusPolicy() & Qt::TabFocus);
}

class CancellingClient : public PasswordPanelClient
{
public:
    explicit CancellingClient(QtPasswordPanel& panel) : m_panel(panel) {}
    void clickok() override {}
    void clickcancel() override { m_panel.stopModal(); }
    void clickrememberpassword() override {}
    void textDidChange() override {}

private:
    QtPasswordPanel& m_panel;
};

// Zorvane with its vault page, the real new-vault sheet and the preferences, people scripted.
struct Zorvane : AppControlerFixture
{
    SecretServiceKeychain keychain;
    ScriptedVaultPagePort vaultPort;
    AddDiskSheet* createSheet = new AddDiskSheet;
    ScriptedPrefsPort prefsPort;
    QtSelfPassDialog selfPass;
    std::unique_ptr<AppControler> app;
    std::unique_ptr<AppPrefsWindowController> prefs;

    Zorvane()
    {
        settings.registerDefaults(AppControler::registeredDefaults());
        // One recorded vault, so the tips have something to point at.
        Records(settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("Data"),
                                   QDir::homePath() + QStringLiteral("/Zorvane/Data.sparsebundle"));
        AppControlerServices s = services();
        s.unlock.keychain = &keychain;
        s.vaultPage = &vaultPort;
        s.createSheet = createSheet;
        app = std::make_unique<AppControler>(s);
        app->awakeFromNib();
        app->myMainWindow()->show();

        AppPrefsServices p;
        p.settings = &settings;
        p.alerts = &alerts;
        p.port = &prefsPort;
        p.selfPass = &selfPass;
        p.version = QStringLiteral("1.0");
        prefs = std::make_unique<AppPrefsWindowController>(p);
    }
    ~Zorvane()
    {
        const QPointer<AddDiskSheet> sheet(createSheet); // the main window owns it once shown
        prefs.reset();
        app.reset();
        delete sheet.data();
    }

    item2* page() const { return app->vaultPage(); }
};

using Check = std::function<void(QWidget*)>;
using Opener = std::function<void(Zorvane&, const Check&)>;

// Opens a window that runs beside the test, checks it, and leaves it to the check to close.
void beside(QWidget* window, const Check& check)
{
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    check(window);
}

// Runs a modal window: the check runs from inside its event loop, which must end afterwards.
void modal(const std::function<void()>& run, const Check& check)
{
    QTimer::singleShot(0, [check] {
        QWidget* window = QApplication::activeModalWidget();
        check(window);
        if (window && window->isVisible())
            window->close(); // a failed check must not leave the loop running
    });
    run();
}

Opener preferencesPage(const QString& page)
{
    return [page](Zorvane& z, const Check& check) {
        z.prefs->showWindow();
        z.prefs->displayViewForIdentifier(page, false);
        beside(z.prefs->window(), check);
    };
}

Opener tip(void (AppControler::*show)(), AttachedWindow* (AppControler::*bubble)() const)
{
    return [show, bubble](Zorvane& z, const Check& check) {
        (z.app.get()->*show)();
        beside((z.app.get()->*bubble)(), check);
    };
}

QHash<QString, Opener> openers()
{
    return {
        {QStringLiteral("add existing vault"),
         [](Zorvane& z, const Check& check) {
             z.page()->AddVault();
             z.page()->addtoencryptimage()->click();
             beside(z.page()->addvaultwindow(), check);
         }},
        {QStringLiteral("new vault"),
         [](Zorvane& z, const Check& check) {
             z.page()->clickadd();
             beside(z.createSheet, check);
         }},
        {QStringLiteral("new vault, advanced"),
         [](Zorvane& z, const Check& check) {
             z.page()->clickadd();
             z.createSheet->findChild<QPushButton*>(QStringLiteral("disclosureButton"))->click();
             beside(z.createSheet, check);
         }},
        {QStringLiteral("new vault, custom size"),
         [](Zorvane& z, const Check& check) {
             z.page()->clickadd();
             z.createSheet->openSheet(CreateSheetPort::Sheet::CustomSize);
             beside(qobject_cast<QWidget*>(z.createSheet->sizeWindow()), check);
             z.createSheet->reject();
         }},
        {QStringLiteral("network share"),
         [](Zorvane& z, const Check& check) {
             z.page()->NotifyMountRemoteSharePoint(QStringLiteral("smb://nas/share"), QStringLiteral("Data"));
             z.page()->serverhaspassword()->click();
             beside(z.page()->savenetworkfolder(), check);
         }},
        {QStringLiteral("resize"),
         [](Zorvane& z, const Check& check) {
             resizedisk* dialog = resizedisk::showSheet(
                 {&z.alerts, &z.local}, z.app->myMainWindow(), QStringLiteral("1.0GB"), QString(),
                 QStringLiteral("/nowhere/Data.sparsebundle"), QString(), QStringLiteral("pw"), 0, 0, 0);
             beside(dialog, check);
         }},
        {QStringLiteral("change password"),
         [](Zorvane& z, const Check& check) {
             z.page()->tableview()->selectRow(0);
             z.page()->maintenance()->ChangePass();
             for (auto* field : z.page()->maintenance()->changepasswindow()->findChildren<QLineEdit*>())
                 QTest::keyClicks(field, QStringLiteral("typed"));
             beside(z.page()->maintenance()->changepasswindow(), check);
         }},
        {QStringLiteral("change location"),
         [](Zorvane& z, const Check& check) {
             z.page()->tableview()->selectRow(0);
             z.page()->maintenance()->ChangeLocation();
             beside(z.page()->maintenance()->changelocationwindow(), check);
         }},
        {QStringLiteral("preferences, general"), preferencesPage(QStringLiteral("General"))},
        {QStringLiteral("preferences, version"), preferencesPage(QStringLiteral("Version"))},
        {QStringLiteral("self-protection password"),
         [](Zorvane& z, const Check& check) {
             PassSelfController controller(z.settings, z.alerts, z.selfPass);
             modal([&] { controller.runModal(z.prefs->window()); }, check);
         }},
        {QStringLiteral("self-protection unlock"),
         [](Zorvane&, const Check& check) {
             QtSelfUnlockPanel panel;
             SelfUnlockPanel::Actions actions;
             actions.cancel = [&panel] {
                 panel.stopModal(1);
             };
             modal([&] { panel.runModal(actions); }, check);
         }},
        {QStringLiteral("vault password"),
         [](Zorvane&, const Check& check) {
             QtPasswordPanel panel;
             CancellingClient client(panel);
             panel.setClient(&client);
             panel.setPrompt(QStringLiteral("Enter the password for \"Data\""));
             modal([&] { panel.runModal(); }, check);
         }},
        {QStringLiteral("lock notice"),
         [](Zorvane& z, const Check& check) {
             QtVaultPagePort port;
             modal(
                 [&] {
                     port.runMountNotice(QStringLiteral("Vault locked"), QStringLiteral("text"),
                                         z.app->myMainWindow());
                 },
                 check);
         }},
        {QStringLiteral("alert with three buttons"),
         [](Zorvane&, const Check& check) {
             QtAlertPort alerts;
             int answer = 0;
             modal(
                 [&] {
                     answer = alerts.runAlert(Alert(
                         QStringLiteral("Title"), QStringLiteral("Text"),
                         {QStringLiteral("Restore"), QStringLiteral("Keep"), QStringLiteral("Cancel")}));
                 },
                 check);
             QCOMPARE(answer, AlertPort::kFirstButton + 2); // Escape is the last button, Cancel
         }},
        {QStringLiteral("vault tip"), tip(&AppControler::tipwindow, &AppControler::attachedWindow)},
        {QStringLiteral("guide tip"), tip(&AppControler::guidetoprotect, &AppControler::attachedWindow1)},
    };
}

} // namespace

class TestKeyboardAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        BundleLayout::setMainBundlePath(TestPaths::appDir());
    }

    void keyboardAlone_data()
    {
        QTest::addColumn<QStringList>("tabOrder"); // names in reading order, from the first
        QTest::addColumn<bool>("hasOk");

        const QString ok = QStringLiteral("OK");
        const QString cancel = QStringLiteral("Cancel");
        QTest::newRow("add existing vault")
            << QStringList{"Vault",    "Browse…", "The vault is encrypted: remember its password",
                           "Password", "Verify",  cancel}
            << true;
        const QStringList newVault{"Vault name",
                                   "Location",
                                   "Choose...",
                                   "Password",
                                   "Verify",
                                   "Size",
                                   "Store password in your keychain",
                                   "Advanced options"};
        QTest::newRow("new vault") << newVault + QStringList{cancel} << true;
        QTest::newRow("new vault, advanced")
            << newVault + QStringList{"Format", "128-bit", // one stop for both; arrows choose
                                      "Hide the vault's volume in the file manager", cancel}
            << true;
        QTest::newRow("new vault, custom size") << QStringList{"Size", "Unit", cancel, ok} << true;
        QTest::newRow("network share")
            << QStringList{"Share",     "The server needs a user name and password",
                           "User name", "Password",
                           cancel,      ok}
            << true;
        QTest::newRow("resize") << QStringList{"New size", "Unit", cancel, ok} << true;
        QTest::newRow("change password")
            << QStringList{"Old password", "New password", "Verify", cancel, ok} << true;
        QTest::newRow("change location") << QStringList{"New location", "Choose…", cancel} << true;
        QTest::newRow("preferences, general") << QStringList{"General",
                                                             "Version",
                                                             "Start Zorvane at login",
                                                             "Start ZorvaneHelper at login",
                                                             "Lock a vault when its application quits",
                                                             "Show notifications",
                                                             "Check for updates automatically",
                                                             "Ask for a password when Zorvane starts",
                                                             "Create new vaults in"}
                                              << false;
        QTest::newRow("preferences, version") << QStringList{"General", "Version", "Check Now"} << false;
        QTest::newRow("self-protection password") << QStringList{"Password", "Verify", cancel} << true;
        QTest::newRow("self-protection unlock")
            << QStringList{"Enter the password to open Zorvane", ok, cancel} << true;
        QTest::newRow("vault password")
            << QStringList{"Enter the password for \"Data\"", "Remember this password", ok, cancel} << true;
        QTest::newRow("lock notice") << QStringList{"Do not show this message again", ok} << true;
        QTest::newRow("alert with three buttons") << QStringList{"Restore", "Keep", cancel} << true;
        QTest::newRow("vault tip") << QStringList{"Don't show this again", ok} << true;
        QTest::newRow("guide tip") << QStringList{ok} << true;
    }

    void keyboardAlone()
    {
        QFETCH(QStringList, tabOrder);
        QFETCH(bool, hasOk);
        const Opener open = openers().value(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(open);
        Zorvane zorvane;
        bool checked = false;
        open(zorvane, [&](QWidget* window) {
            QVERIFY(window);
            window->activateWindow();
            // A tip appears without taking the focus; the key that reaches it is checked below.
            QWidget* start = nullptr;
            QStringList unnamed;
            for (QWidget* widget : window->findChildren<QWidget*>()) {
                if (!reachable(widget, window))
                    continue;
                const QString name = spokenName(widget);
                if (name.isEmpty())
                    unnamed.append(widget->metaObject()->className() + QLatin1Char(' ') +
                                   widget->objectName());
                if (name == tabOrder.constFirst() && widget->isEnabled() && !start)
                    start = widget;
            }
            QVERIFY2(unnamed.isEmpty(), qPrintable(QStringLiteral("no name: ") + unnamed.join(", ")));

            if (hasOk) {
                const auto buttons = window->findChildren<QPushButton*>();
                QVERIFY2(std::any_of(
                             buttons.begin(), buttons.end(),
                             [window](QPushButton* b) { return b->isDefault() && b->isVisibleTo(window); }),
                         "Return has no default button");
            }

            QVERIFY2(start, qPrintable(QStringLiteral("nothing named ") + tabOrder.constFirst()));
            start->setFocus(Qt::TabFocusReason);
            QStringList visited;
            for (int i = 0; i < 3 * tabOrder.size(); ++i) {
                QWidget* focus = window->focusWidget();
                QVERIFY(focus);
                if (i > 0 && focus == start)
                    break;
                visited.append(spokenName(focus));
                QTest::keyClick(focus, Qt::Key_Tab);
            }
            QVERIFY2(visited == tabOrder, qPrintable(QStringLiteral("Tab visits ") + visited.join(" | ")));

            const QPointer<QWidget> guard(window);
            const auto secrets = window->findChildren<QLineEdit*>();
            QTest::keyClick(window->focusWidget(), Qt::Key_Escape);
            QTRY_VERIFY2(!guard || !guard->isVisible(), "Escape left the window open");
            for (QLineEdit* field : secrets)
                if (guard && field->echoMode() == QLineEdit::Password)
                    QVERIFY2(field->text().isEmpty(), "a password stayed in its field");
            checked = true;
        });
        QVERIFY(checked);
    }

    // A tip shows without taking the focus: Escape in the main window dismisses it, one tip a
    // press when several are up.
    void escapeInMainWindowDismissesTips()
    {
        Zorvane zorvane;
        MainWindow* main = zorvane.app->myMainWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        zorvane.app->tipwindow();
        zorvane.app->guidetoprotect();
        const QPointer<AttachedWindow> tip(zorvane.app->attachedWindow());
        const QPointer<AttachedWindow> guide(zorvane.app->attachedWindow1());
        QVERIFY(tip && guide && tip->isVisible() && guide->isVisible());
        QCOMPARE(QApplication::activeWindow(), main);
        QTest::keyClick(main, Qt::Key_Escape);
        QTRY_VERIFY(!tip || !guide);
        QVERIFY(tip || guide);
        QTest::keyClick(main, Qt::Key_Escape);
        QTRY_VERIFY(!tip && !guide);
        QTest::keyClick(main, Qt::Key_Escape); // nothing left to dismiss, nothing happens
        QVERIFY(main->isVisible());
    }

    // Escape on a share's sheet moves on to the next share waiting, as Cancel does.
    void escapeOnShareSheetAsksForTheNext()
    {
        Zorvane zorvane;
        item2* page = zorvane.page();
        page->NotifyMountRemoteSharePoint(QStringLiteral("smb://nas/one"), QStringLiteral("One"));
        page->NotifyMountRemoteSharePoint(QStringLiteral("smb://nas/two"), QStringLiteral("Two"));
        QVERIFY(QTest::qWaitForWindowExposed(page->savenetworkfolder()));
        QCOMPARE(page->NetworkInfo()->text(), QStringLiteral("smb://nas/one"));
        QTest::keyClick(page->NetworkInfo(), Qt::Key_Escape);
        QTRY_VERIFY(page->savenetworkfolder()->isVisible());
        QCOMPARE(page->NetworkInfo()->text(), QStringLiteral("smb://nas/two"));
        page->ClickSaveNetworkCancel();
        QVERIFY(!page->savenetworkfolder()->isVisible());
        QCOMPARE(zorvane.alerts.shown.size(), 2); // one question per share, none asked twice
    }
};

QTEST_MAIN(TestKeyboardAccess)
#include "TestKeyboardAccess.moc"

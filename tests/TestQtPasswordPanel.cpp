// The Qt password panel offscreen: its controls report to the client, and a real controller
// drives it through an unlock of a real vault.
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/vault/AttachDiskImageController.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "ui/QtPasswordPanel.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

const QString kPassword = QStringLiteral("panel password|1");

struct RecordingClient : PasswordPanelClient
{
    QStringList calls;
    void clickok() override { calls.append(QStringLiteral("ok")); }
    void clickcancel() override { calls.append(QStringLiteral("cancel")); }
    void clickrememberpassword() override { calls.append(QStringLiteral("remember")); }
    void textDidChange() override { calls.append(QStringLiteral("text")); }
};

template<typename T> T* control(QWidget& panel, const char* name)
{
    return panel.findChild<T*>(QString::fromLatin1(name));
}

QPushButton* button(QWidget& panel, const QString& text)
{
    for (QPushButton* b : panel.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

// Plays user actions once the panel's modal run has started.
void whenShown(QtPasswordPanel& panel, std::function<void()> action)
{
    QTimer::singleShot(0, &panel, [&panel, action] {
        if (!panel.isVisible())
            whenShown(panel, action);
        else
            action();
    });
}

} // namespace

class TestQtPasswordPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh"); }

    void userActionsReachTheClient()
    {
        QtPasswordPanel panel;
        RecordingClient client;
        panel.setClient(&client);
        panel.show();
        auto* field = control<QLineEdit>(panel, "passwordvalue");
        auto* remember = control<QCheckBox>(panel, "remberpassword");
        QVERIFY(field && remember && control<QLabel>(panel, "passwordtitle"));
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QCOMPARE(remember->text(), QStringLiteral("Remember this password"));

        QTest::keyClicks(field, QStringLiteral("ab"));
        panel.setPassword(QStringLiteral("set by the controller")); // not a user edit
        remember->click();
        panel.setRememberChecked(false); // not a user click
        button(panel, QStringLiteral("OK"))->click();
        QTest::keyClick(field, Qt::Key_Return);
        button(panel, QStringLiteral("Cancel"))->click();
        QTest::keyClick(&panel, Qt::Key_Escape);
        QCOMPARE(client.calls, (QStringList{"text", "text", "remember", "ok", "ok", "cancel", "cancel"}));
        QVERIFY(panel.isVisible()); // only the client ends the panel
    }

    void showsWhatTheControllerSets()
    {
        QtPasswordPanel panel;
        panel.show();
        panel.setPrompt(QStringLiteral("Enter password to access 'Data'"));
        panel.setTip(QStringLiteral("Authentication failed"), true);
        panel.setRememberVisible(false);
        panel.setProgressRunning(true);
        QCOMPARE(control<QLabel>(panel, "passwordtitle")->text(),
                 QStringLiteral("Enter password to access 'Data'"));
        QCOMPARE(control<QLabel>(panel, "passwordtip")->text(), QStringLiteral("Authentication failed"));
        QVERIFY(control<QLabel>(panel, "passwordtip")->styleSheet().contains(QStringLiteral("red")));
        QVERIFY(!control<QLabel>(panel, "passwordcontent")->isVisible());
        QVERIFY(!control<QCheckBox>(panel, "remberpassword")->isVisible());
        QVERIFY(control<QProgressBar>(panel, "progresswindow")->isVisible());
        panel.setTip(QString(), false);
        panel.setProgressRunning(false);
        QVERIFY(!control<QLabel>(panel, "passwordtip")->styleSheet().contains(QStringLiteral("red")));
        QVERIFY(!control<QProgressBar>(panel, "progresswindow")->isVisible());
    }

    void placedBelowTheMainWindow()
    {
        QWidget main;
        main.setGeometry(100, 120, 400, 300);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QtPasswordPanel panel(&main);
        panel.placeBelowMainWindow();
        const QRect frame = main.frameGeometry();
        QCOMPARE(panel.pos(), QPoint(frame.x() + frame.width() / 2, frame.y() + frame.height()));

        // The helper has no main window: centred on the screen.
        QtPasswordPanel alone;
        main.hide();
        alone.placeBelowMainWindow();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((QRect(alone.pos(), alone.size()).center() - area.center()).manhattanLength() <= 2);
    }

    void unlocksARealVault()
    {
        QTemporaryDir folder(QDir::homePath() + QStringLiteral("/vaults-XXXXXX"));
        TestVaults::useCheapKeyDerivation();
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
        const QString image = TestVaults::create(folder.path(), QStringLiteral("Panel"), kPassword.toUtf8());
        QVERIFY(!image.isEmpty());

        SettingsStore settings(SettingsStore::kZorvaneDomain);
        QtPasswordPanel panel;
        ScriptedAlertPort alerts;
        AttachDiskImageController controller({&settings, nullptr, nullptr, &panel, &alerts});
        auto* field = control<QLineEdit>(panel, "passwordvalue");
        auto* tip = control<QLabel>(panel, "passwordtip");

        // Escape cancels.
        whenShown(panel, [&] { QTest::keyClick(field, Qt::Key_Escape); });
        QCOMPARE(controller.mountDiskImageAtPath(image), 2);
        QVERIFY(!panel.isVisible());

        QString tipAfterWrongPassword, tipAfterTyping;
        bool visibleAfterWrongPassword = false;
        whenShown(panel, [&] {
            QTest::keyClicks(field, QStringLiteral("wrong"));
            QTest::keyClick(field, Qt::Key_Return);
            tipAfterWrongPassword = tip->text();
            visibleAfterWrongPassword = panel.isVisible();
            field->clear();
            QTest::keyClicks(field, kPassword);
            tipAfterTyping = tip->text();
            button(panel, QStringLiteral("OK"))->click();
        });
        QCOMPARE(controller.mountDiskImageAtPath(image), 1);
        QCOMPARE(tipAfterWrongPassword, QStringLiteral("Authentication failed"));
        QVERIFY(visibleAfterWrongPassword);
        QCOMPARE(tipAfterTyping, QString());
        QVERIFY(!panel.isVisible());
        QVERIFY(field->text().isEmpty());
        QVERIFY(TestVaults::isMounted(QStringLiteral("Panel")));
        QVERIFY(TestVaults::detach(QStringLiteral("Panel")));
        BundleLayout::setDiskImageToolPath(QString());
    }
};

QTEST_MAIN(TestQtPasswordPanel)
#include "TestQtPasswordPanel.moc"

// The new-vault sheet's widgets drive the controller: typing, pop-ups, the custom-size sheet,
// the disclosure, the keychain box and Cancel, on the offscreen platform.
#include "app/vaults/AddDiskSheet.h"
#include "app/vaults/Controler.h"
#include "core/settings/SettingsStore.h"
#include "core/system/NotificationCenter.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/ScriptedAlertPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestControlerSheet : public QObject
{
    Q_OBJECT

    template<typename T> T* child(const char* name)
    {
        T* widget = m_sheet->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qWarning("no %s", name);
        return widget;
    }

private Q_SLOTS:
    void init()
    {
        m_main = std::make_unique<QWidget>();
        m_main->show();
        m_sheet = new AddDiskSheet;
        m_controler = std::make_unique<Controler>(
            ControlerServices{&m_settings, &m_alerts, &m_keychain, &m_local, m_sheet});
        m_controler->showSheet(m_main.get());
        QVERIFY(QTest::qWaitForWindowExposed(m_sheet));
    }

    void cleanup()
    {
        m_controler.reset();
        m_main.reset(); // owns the sheet
        m_alerts = ScriptedAlertPort();
    }

    void typingValidatesLive()
    {
        QCOMPARE(m_sheet->parentWidget(), m_main.get());
        QCOMPARE(m_sheet->windowModality(), Qt::WindowModal);
        auto* ok = child<QPushButton>("okButton");
        QVERIFY(!ok->isEnabled());
        QTest::keyClicks(child<QLineEdit>("ValueName"), QStringLiteral("Data"));
        QTest::keyClicks(child<QLineEdit>("PassWord"), QStringLiteral("pw"));
        auto* status = child<QLabel>("passwordStatus");
        QCOMPARE(status->text(), QStringLiteral("Passwords do not match"));
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(!ok->isEnabled());
        QTest::keyClicks(child<QLineEdit>("RepeatPassWorld"), QStringLiteral("pw"));
        QCOMPARE(status->text(), QStringLiteral("Passwords match"));
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor::fromRgbF(0.0, 0.6, 0.3));
        QVERIFY(ok->isEnabled());
        QCOMPARE(child<QLineEdit>("PassWord")->echoMode(), QLineEdit::Password);

        QTest::mouseClick(child<QPushButton>("cancelButton"), Qt::LeftButton);
        QVERIFY(!m_sheet->isVisible());
        QVERIFY(child<QLineEdit>("ValueName")->text().isEmpty());
        QVERIFY(child<QLineEdit>("PassWord")->text().isEmpty());
    }

    void customSizeSheet()
    {
        auto* size = child<QComboBox>("PopupSizeButton");
        auto* sizeWindow = child<QDialog>("VaultSizeWindow");
        QCOMPARE(size->itemText(size->count() - 1), QStringLiteral("Custom.."));
        size->setCurrentIndex(size->count() - 1);
        Q_EMIT size->activated(size->count() - 1);
        QVERIFY(sizeWindow->isVisible());
        QTest::keyClicks(child<QLineEdit>("CustomSize"), QStringLiteral("123456"));
        QCOMPARE(child<QLineEdit>("CustomSize")->text(), QStringLiteral("1234"));
        child<QComboBox>("PopupTypeButton")->setCurrentIndex(1);
        QTest::mouseClick(child<QPushButton>("sizeOkButton"), Qt::LeftButton);
        QVERIFY(!sizeWindow->isVisible());
        QCOMPARE(size->currentText(), QStringLiteral("Custom..(1234MB)"));
        QCOMPARE(size->findText(QStringLiteral("Custom..")), -1);
    }

    void advancedAndKeychain()
    {
        auto* extra = child<QGroupBox>("extraBox");
        QVERIFY(!extra->isVisible());
        const int collapsed = m_sheet->height();
        QTest::mouseClick(child<QPushButton>("disclosureButton"), Qt::LeftButton);
        QVERIFY(extra->isVisible());
        QTRY_VERIFY(m_sheet->height() > collapsed);
        QCOMPARE(child<QComboBox>("PopupButton")->currentText(), QStringLiteral("sparse bundle disk image"));
        QVERIFY(child<QCheckBox>("hidemountpoint")->isChecked());

        m_alerts.answers = {AlertPort::kFirstButton};
        auto* keychain = child<QCheckBox>("keychainbutton");
        QTest::mouseClick(keychain, Qt::LeftButton);
        QCOMPARE(m_alerts.shown.size(), 1);
        QCOMPARE(m_alerts.windows.first(), static_cast<QObject*>(m_sheet));
        QVERIFY(!keychain->isChecked());
    }

    // Keeps the filled sheet on screen for ZV_SHEET_HOLD_MS, for a screenshot of the display.
    void holdForScreenshot()
    {
        const int hold = qEnvironmentVariableIntValue("ZV_SHEET_HOLD_MS");
        if (hold <= 0)
            QSKIP("ZV_SHEET_HOLD_MS not set");
        m_main->resize(820, 560);
        m_main->setWindowTitle(QStringLiteral("Zorvane"));
        QTest::keyClicks(child<QLineEdit>("ValueName"), QStringLiteral("Documents"));
        child<QLineEdit>("FilePath")->setText(QStringLiteral("/home/user/Zorvane"));
        QTest::keyClicks(child<QLineEdit>("PassWord"), QStringLiteral("secret"));
        QTest::keyClicks(child<QLineEdit>("RepeatPassWorld"), QStringLiteral("secret"));
        QTest::mouseClick(child<QPushButton>("disclosureButton"), Qt::LeftButton);
        m_sheet->move(m_main->geometry().center() - QPoint(m_sheet->width() / 2, m_sheet->height() / 2));
        QTest::qWait(hold);
    }

private:
    SettingsStore m_settings{SettingsStore::kZorvaneDomain};
    ScriptedAlertPort m_alerts;
    SecretServiceKeychain m_keychain;
    NotificationCenter m_local;
    std::unique_ptr<QWidget> m_main;
    AddDiskSheet* m_sheet = nullptr;
    std::unique_ptr<Controler> m_controler;
};

QTEST_MAIN(TestControlerSheet)
#include "TestControlerSheet.moc"

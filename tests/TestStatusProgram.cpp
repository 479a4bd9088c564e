#include "core/settings/Paths.h"
#include "core/settings/SettingsKeys.h"
#include "core/system/BundleLayout.h"
#include "core/system/NotificationNames.h"
#include "platform/DBusNotificationCenter.h"
#include "platform/FreedesktopNotices.h"
#include "status/HeldLaunchRecord.h"
#include "status/StatusApp.h"
#include "status/VaultAutoLock.h"
#include "tests/support/FakeLogin1.h"
#include "tests/support/RecordingNotificationServer.h"
#include "tests/support/StatusFixture.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <csignal>

namespace {

QString helperProgram()
{
    return BundleLayout::executableOfBundle(TestPaths::appDir() +
                                            QStringLiteral("/Contents/Resources/ZorvaneStatus.app"));
}

// Starts the real helper, watching only the stand-ins below standIns, and waits until it listens.
bool startHelper(QProcess& status, const QString& standIns, const QString& systemBus = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZV_STATUS_WATCH_PREFIX"), standIns);
    if (!systemBus.isEmpty())
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemBus);
    status.setProcessEnvironment(environment);
    status.setProcessChannelMode(QProcess::ForwardedChannels);
    status.start(helperProgram(), {});
    return status.waitForStarted() && TestPaths::waitForStatusHelper();
}

bool quitHelper(QProcess& status)
{
    DBusNotificationCenter center;
    return center.post(NotificationNames::HelperQuit) && status.waitForFinished(10000);
}

bool sawNotice(const RecordingNotificationServer& server, const QString& summary, const QString& text)
{
    for (const RecordingNotificationServer::Notice& notice : server.notices) {
        if (notice.summary == summary && notice.body == FreedesktopNotices::bodyText(text) &&
            notice.expireTimeout == 0)
            return true;
    }
    return false;
}

} // namespace

class TestStatusProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The real helper holds a protected program launched while its vault is locked (its
    // password panel then waits offscreen); told to quit, it ends that launch first.
    void quittingEndsWhatTheHelperHolds_data()
    {
        QTest::addColumn<bool>("bySignal");
        QTest::newRow("SIGTERM") << true;
        QTest::newRow("HelperQuit") << false;
    }

    void quittingEndsWhatTheHelperHolds()
    {
        QFETCH(bool, bySignal);
        StatusFixture fixture;
        QVERIFY2(fixture.setUp(), "the disk-image tool cannot make the test vaults");
        fixture.reset();
        QProcess status;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ZV_STATUS_WATCH_PREFIX"), fixture.standIns.folder());
        status.setProcessEnvironment(environment);
        status.setProcessChannelMode(QProcess::ForwardedChannels);
        status.start(BundleLayout::executableOfBundle(
                         TestPaths::appDir() + QStringLiteral("/Contents/Resources/ZorvaneStatus.app")),
                     {});
        QVERIFY(status.waitForStarted());
        QVERIFY(TestPaths::waitForStatusHelper());
        QTest::qWait(300); // the watcher has taken stock of what runs

        // It may be held before it says it is ready.
        QProcess* thunderbird =
            fixture.standIns.start(QStringLiteral("thunderbird"), {QStringLiteral("sleep")}, false);
        QVERIFY(thunderbird);
        QTRY_COMPARE_WITH_TIMEOUT(StandIns::state(thunderbird->processId()), 'T', 10000);
        QTRY_VERIFY(QFileInfo::exists(HeldLaunchRecord::defaultPath()));

        if (bySignal) {
            ::kill(pid_t(status.processId()), SIGTERM);
        } else {
            DBusNotificationCenter center;
            QVERIFY(center.post(NotificationNames::HelperQuit));
        }
        QVERIFY(status.waitForFinished(10000));
        QCOMPARE(status.exitStatus(), QProcess::NormalExit);
        QVERIFY(StandIns::ended(thunderbird));
        QVERIFY(!QFileInfo::exists(HeldLaunchRecord::defaultPath()));
        fixture.tearDown();
    }

    void helperQuitsOnHelperQuit()
    {
        const QString helper = BundleLayout::executableOfBundle(
            TestPaths::appDir() + QStringLiteral("/Contents/Resources/ZorvaneStatus.app"));
        QProcess status;
        status.setProcessChannelMode(QProcess::ForwardedChannels);
        status.start(helper, {});
        QVERIFY(status.waitForStarted());
        // Other notifications leave it running.
        DBusNotificationCenter center;
        QVERIFY(TestPaths::waitForStatusHelper());
        QVERIFY(center.post(NotificationNames::HelperMessage));
        QVERIFY(!status.waitForFinished(1000));
        // The helper may still be connecting to the bus: repeat until it has heard.
        for (int i = 0; i < 40 && status.state() != QProcess::NotRunning; ++i) {
            QVERIFY(center.post(NotificationNames::HelperQuit));
            status.waitForFinished(250);
        }
        QCOMPARE(status.state(), QProcess::NotRunning);
        QCOMPARE(status.exitStatus(), QProcess::NormalExit);
        QCOMPARE(status.exitCode(), 0);
    }

    // Zorvane's messages are sticky notices whatever "EnableNotifications" says.
    void zorvanesMessagesAreShownSticky()
    {
        StatusFixture fixture;
        fixture.reset(false);
        fixture.zorvane().setObject(QStringLiteral("YES"), SettingsKeys::NotFirstRunHelperApp);
        RecordingNotificationServer server;
        QVERIFY(server.start());
        QProcess status;
        QVERIFY(startHelper(status, fixture.standIns.folder()));
        DBusNotificationCenter center;
        QVERIFY(center.post(NotificationNames::HelperMessage));
        QVERIFY(center.post(NotificationNames::HelperPhotoStreamMessage,
                            {{NotificationNames::AppName, QStringLiteral("Shotwell")}}));
        QVERIFY(center.post(NotificationNames::HelperPhotosMessage));
        QTRY_COMPARE(server.notices.size(), 3);
        QVERIFY(sawNotice(server, "Things you need to know:", StatusApp::helperMessageText()));
        QVERIFY(sawNotice(server, "Zorvane", StatusApp::photoStreamMessageText("Shotwell")));
        QVERIFY(sawNotice(server, "Zorvane", StatusApp::photosMessageText()));
        QVERIFY(StatusApp::photoStreamMessageText("Shotwell").count("Shotwell") == 3);
        QVERIFY(quitHelper(status));
        server.stop();
    }

    // A notification service that never answers holds nothing up.
    void aSilentNotificationServiceDoesNotDelayTheQuit()
    {
        StatusFixture fixture;
        fixture.reset(false);
        RecordingNotificationServer server;
        server.silent = true;
        QVERIFY(server.start());
        QProcess status;
        QVERIFY(startHelper(status, fixture.standIns.folder()));
        DBusNotificationCenter center;
        QVERIFY(center.post(NotificationNames::HelperMessage));
        QTRY_VERIFY(!server.notices.isEmpty());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(center.post(NotificationNames::HelperQuit));
        QVERIFY(status.waitForFinished(2000));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        server.stop();
    }

    void sessionLockAndSleepLockVaults_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("autoLock"); // empty: not set
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("locked");
        QTest::newRow("screen saver") << "screensaver"
                                      << "" << false << true;
        QTest::newRow("GNOME screen saver") << "gnome"
                                            << "YES" << false << true;
        QTest::newRow("logind locks this session") << "login1"
                                                   << "" << false << true;
        QTest::newRow("logind locks another session") << "other session"
                                                      << "" << false << false;
        QTest::newRow("before sleep") << "sleep"
                                      << "" << false << true;
        QTest::newRow("AutoLock NO") << "sleep"
                                     << "NO" << false << false;
        QTest::newRow("a process holds files in it") << "screensaver"
                                                     << "" << true << false;
    }

    void sessionLockAndSleepLockVaults()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, autoLock);
        QFETCH(bool, held);
        QFETCH(bool, locked);
        StatusFixture fixture;
        QVERIFY2(fixture.setUp(), "the disk-image tool cannot make the test vaults");
        fixture.reset();
        // A protected folder: no application of the vault can be running.
        const QString place = Paths::home() + QStringLiteral("/Documents/Journal");
        fixture.zorvane().setObject(QVariantMap{{"Journal", "Mail"}}, SettingsKeys::RedirectItem);
        fixture.zorvane().setObject(QVariantMap{{"Journal", place}}, SettingsKeys::CustomFolderItem);
        fixture.zorvane().setObject(QStringLiteral("YES"), SettingsKeys::NotFirstRunHelperApp);
        if (!autoLock.isEmpty())
            fixture.zorvane().setObject(autoLock, SettingsKeys::AutoLock);
        QVERIFY(fixture.attach(QStringLiteral("Mail")));
        QProcess* holder = nullptr;
        if (held) {
            holder = fixture.standIns.start(
                QStringLiteral("zvsleepholder"),
                {QStringLiteral("fd"), Paths::mountPoint("Mail") + QStringLiteral("/.thunderbird/prefs.js")});
            QVERIFY(holder);
        }
        FakeLogin1 login1;
        QVERIFY(login1.start());
        RecordingNotificationServer server;
        QVERIFY(server.start());
        QProcess status;
        QVERIFY(startHelper(status, fixture.standIns.folder(), login1.address()));
        // Its sleep delay shows it follows logind.
        QTRY_COMPARE(login1.inhibitorsTaken, 1);
        QCOMPARE(login1.inhibitModes, QStringList{"sleep/delay"});
        QTest::qWait(200);

        if (trigger == "screensaver" || trigger == "gnome") {
            const QString interface = trigger == "gnome" ? QStringLiteral("org.gnome.ScreenSaver")
                                                         : QStringLiteral("org.freedesktop.ScreenSaver");
            QDBusMessage signal = QDBusMessage::createSignal(
                trigger == "gnome" ? QStringLiteral("/org/gnome/ScreenSaver")
                                   : QStringLiteral("/org/freedesktop/ScreenSaver"),
                interface, QStringLiteral("ActiveChanged"));
            signal << true;
            QVERIFY(QDBusConnection::sessionBus().send(signal));
        } else if (trigger == "login1") {
            login1.lockSession();
        } else if (trigger == "other session") {
            login1.lockSession(QStringLiteral("/org/freedesktop/login1/session/_9other"));
        } else {
            login1.prepareForSleep(true);
        }

        if (locked) {
            QTRY_VERIFY_WITH_TIMEOUT(!TestVaults::isMounted(QStringLiteral("Mail")), 5000);
        } else {
            QTest::qWait(1500);
            QVERIFY(TestVaults::isMounted(QStringLiteral("Mail")));
        }
        if (trigger == "sleep") {
            // The computer may sleep once the locks are done; after the resume a new delay.
            QTRY_COMPARE(login1.openInhibitors(), 0);
            login1.prepareForSleep(false);
            QTRY_COMPARE(login1.inhibitorsTaken, 2);
            QCOMPARE(login1.openInhibitors(), 1);
        }
        if (held) {
            QTRY_VERIFY(sawNotice(server, VaultAutoLock::cantLockTitle("Mail"),
                                  VaultAutoLock::stillUsingText("zvsleepholder", "Mail")));
            QCOMPARE(holder->state(), QProcess::Running);
        }
        QVERIFY(quitHelper(status));
        server.stop();
        fixture.tearDown();
    }
};

QTEST_MAIN(TestStatusProgram)
#include "TestStatusProgram.moc"

#include "core/system/BundleLayout.h"
#include "core/system/NotificationNames.h"
#include "platform/DBusNotificationCenter.h"
#include "status/HeldLaunchRecord.h"
#include "tests/support/StatusFixture.h"
#include "tests/support/TestPaths.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <csignal>

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
};

QTEST_MAIN(TestStatusProgram)
#include "TestStatusProgram.moc"

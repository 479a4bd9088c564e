#include "core/system/BundleLayout.h"
#include "core/system/NotificationNames.h"
#include "platform/DBusNotificationCenter.h"
#include "tests/support/TestPaths.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTest>

class TestStatusProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

QTEST_GUILESS_MAIN(TestStatusProgram)
#include "TestStatusProgram.moc"

#include "core/settings/Paths.h"
#include "core/system/BundleLayout.h"
#include "platform/MountWatcher.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestMountWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
        TestVaults::useCheapKeyDerivation();
    }

    // A real vault attached and detached by the tool is reported once each way; other mounts
    // that come and go on the machine meanwhile may add signals of their own.
    void reportsVaultMountAndUnmount()
    {
        QTemporaryDir folder;
        const QString image = TestVaults::create(folder.path(), QStringLiteral("Watched"), "pw");
        QVERIFY(!image.isEmpty());
        MountWatcher watcher;
        QVERIFY(watcher.isWatching());
        QSignalSpy mounted(&watcher, &MountWatcher::didMount);
        QSignalSpy unmounted(&watcher, &MountWatcher::didUnmount);
        const QString mountPoint = Paths::mountPoint(QStringLiteral("Watched"));
        const auto seen = [](const QSignalSpy& spy, const QString& point) {
            for (const QList<QVariant>& args : spy)
                if (args.value(0).toString() == point)
                    return true;
            return false;
        };

        QCOMPARE(TestVaults::runTool({"mount", "-stdinpass", image}, "pw"), 0);
        QTRY_VERIFY_WITH_TIMEOUT(seen(mounted, mountPoint), 3000);
        QVERIFY(watcher.mountPoints().contains(mountPoint));
        QVERIFY(!seen(unmounted, mountPoint));

        QCOMPARE(TestVaults::runTool({"detach", mountPoint}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(seen(unmounted, mountPoint), 3000);
        QVERIFY(!watcher.mountPoints().contains(mountPoint));
    }

    // A regular file never signals a change, so a watcher that polled would be the only way to
    // notice this edit: the watcher reads the table once at start and then waits.
    void waitsForTheKernelInsteadOfPolling()
    {
        QTemporaryDir folder;
        const QString table = folder.filePath(QStringLiteral("mountinfo"));
        const QByteArray line = "36 35 98:0 / /mnt/a rw,noatime master:1 - ext3 /dev/root rw\n";
        QFile file(table);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(line);
        file.close();

        MountWatcher watcher(table);
        QVERIFY(watcher.isWatching());
        QCOMPARE(watcher.mountPoints(), QStringList{QStringLiteral("/mnt/a")});
        QSignalSpy mounted(&watcher, &MountWatcher::didMount);
        QVERIFY(file.open(QIODevice::Append));
        file.write("37 35 98:0 / /mnt/b rw,noatime master:1 - ext3 /dev/root rw\n");
        file.close();
        QTest::qWait(1500);
        QCOMPARE(watcher.readCount(), 1);
        QCOMPARE(mounted.count(), 0);
    }

    void missingTableIsReportedNotWatched()
    {
        MountWatcher watcher(QStringLiteral("/nonexistent/mountinfo"));
        QVERIFY(!watcher.isWatching());
        QVERIFY(watcher.mountPoints().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMountWatcher)
#include "TestMountWatcher.moc"

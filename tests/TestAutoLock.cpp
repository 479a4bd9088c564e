// A protected application quits: its vault is locked, unless another protected application
// still uses it or auto-lock is off; background processes of the daemon table that hold files
// in it are asked to quit first; a holder keeps it open and is named; a forced detach is
// checked. Real vaults and stand-ins; quits reported by the test, or by the real watcher.
#include "core/files/JobJournal.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsKeys.h"
#include "core/system/BundleLayout.h"
#include "platform/LinuxProcessWatcher.h"
#include "status/VaultAutoLock.h"
#include "tests/support/StatusFixture.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

class TestAutoLock : public QObject
{
    Q_OBJECT

    StatusFixture m_fixture;

    // Starts the stand-in while its vault is open (so it runs and is watched), then ends it
    // and reports the quit.
    QProcess* running(const QString& name, const QStringList& arguments = {QStringLiteral("sleep")})
    {
        QProcess* process = m_fixture.launch(name, arguments);
        return process && m_fixture.watcher->watched.contains(process->processId()) ? process : nullptr;
    }

    bool quit(QProcess* process)
    {
        const qint64 pid = process->processId();
        process->kill();
        return StandIns::ended(process) && m_fixture.watcher->terminate(pid);
    }

    QString mailFileIn(const QString& item) const
    {
        return Paths::itemDataPath(QStringLiteral("Mail"),
                                   StatusFixture::dataFile(item).section('/', 0, -2)) +
               QLatin1Char('/') + QFileInfo(StatusFixture::dataFile(item)).fileName();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        QVERIFY2(m_fixture.setUp(), "the disk-image tool cannot make the test vaults");
    }

    void init()
    {
        m_fixture.reset();
        QVERIFY(m_fixture.attach(QStringLiteral("Mail")));
    }

    void cleanup()
    {
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
        m_fixture.tearDown();
    }

    void theQuitLocksItsVault_data()
    {
        QTest::addColumn<QString>("autoLock"); // empty: not set
        QTest::addColumn<bool>("locked");
        QTest::newRow("auto-lock not set") << "" << true;
        QTest::newRow("auto-lock on") << "YES" << true;
        QTest::newRow("auto-lock off") << "NO" << false;
    }

    void theQuitLocksItsVault()
    {
        QFETCH(QString, autoLock);
        QFETCH(bool, locked);
        if (!autoLock.isEmpty())
            m_fixture.zorvane().setObject(autoLock, SettingsKeys::AutoLock);
        QSignalSpy finished(m_fixture.controller.get(), &StatusAttachDiskImageController::autoLockFinished);
        QProcess* thunderbird = running(QStringLiteral("thunderbird"));
        QVERIFY(thunderbird);
        QVERIFY(quit(thunderbird));
        if (locked) {
            QTRY_COMPARE(finished.count(), 1);
            QCOMPARE(finished.at(0), (QVariantList{"Mail", true}));
        } else {
            QTest::qWait(200);
            QCOMPARE(finished.count(), 0);
        }
        QCOMPARE(TestVaults::isMounted(QStringLiteral("Mail")), !locked);
        QCOMPARE(m_fixture.notices->texts(), locked ? QStringList{"Locked Thunderbird"} : QStringList{});
    }

    void twoApplicationsInOneVault()
    {
        QSignalSpy finished(m_fixture.controller.get(), &StatusAttachDiskImageController::autoLockFinished);
        QProcess* thunderbird = running(QStringLiteral("thunderbird"));
        QProcess* evolution = running(QStringLiteral("evolution"));
        QVERIFY(thunderbird && evolution);
        QVERIFY(quit(thunderbird));
        QTest::qWait(200);
        QCOMPARE(finished.count(), 0);
        QVERIFY(TestVaults::isMounted(QStringLiteral("Mail")));
        QVERIFY(quit(evolution));
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Mail")));
        QCOMPARE(m_fixture.notices->texts(), QStringList{"Locked Evolution"});
    }

    void quitsThatLockNothing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("not protected") << "/usr/bin/zvnotes";
        QTest::newRow("its vault already locked") << "/usr/lib/geary/geary";
    }

    void quitsThatLockNothing()
    {
        QFETCH(QString, path);
        QSignalSpy finished(m_fixture.controller.get(), &StatusAttachDiskImageController::autoLockFinished);
        m_fixture.controller->applicationquit({4242, 1, 42420, path, path});
        QTest::qWait(100);
        QCOMPARE(finished.count(), 0);
        QVERIFY(TestVaults::isMounted(QStringLiteral("Mail")));
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Chat")));
        QCOMPARE(m_fixture.notices->texts(), QStringList{});
    }

    void aHolderKeepsTheVaultOpenAndIsNamed()
    {
        QProcess* reader = m_fixture.standIns.start(
            QStringLiteral("zvreader"), {QStringLiteral("fd"), mailFileIn(QStringLiteral("Thunderbird"))});
        QVERIFY(reader);
        QSignalSpy finished(m_fixture.controller.get(), &StatusAttachDiskImageController::autoLockFinished);
        QVERIFY(quit(running(QStringLiteral("thunderbird"))));
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0), (QVariantList{"Mail", false}));
        QVERIFY(TestVaults::isMounted(QStringLiteral("Mail")));
        QCOMPARE(reader->state(), QProcess::Running);
        QFile data(StatusFixture::dataFile(QStringLiteral("Thunderbird")));
        QVERIFY(data.open(QIODevice::ReadOnly));
        QCOMPARE(data.readAll(), QByteArray("user data\n"));
        QCOMPARE(m_fixture.notices->notices.size(), 1);
        const RecordingNoticePort::Notice notice = m_fixture.notices->notices.first();
        QCOMPARE(notice.title, QStringLiteral("Can't Lock vault: Mail"));
        QCOMPARE(notice.text,
                 QStringLiteral("\r\nzvreader is still using the vault: \"Mail\".\r\n\r\nPlease quit "
                                "zvreader and then try to manually lock the vault again."));
        QVERIFY(notice.sticky);
    }

    // Zorvane copying into the vault holds no file open between two files; its job keeps the
    // vault open all the same, quietly (the job locks it when it ends).
    void aRunningJobKeepsTheVaultOpen()
    {
        auto job = JobJournal::begin(QStringLiteral("protect"), QStringLiteral("copying"),
                                     {{JobJournal::kVault, QStringLiteral("Mail")}});
        QVERIFY(job);
        QSignalSpy finished(m_fixture.controller.get(), &StatusAttachDiskImageController::autoLockFinished);
        QVERIFY(quit(running(QStringLiteral("thunderbird"))));
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0), (QVariantList{"Mail", false}));
        QVERIFY(TestVaults::isMounted(QStringLiteral("Mail")));
        QCOMPARE(m_fixture.notices->texts(), QStringList{});
        QVERIFY(job->finish());
    }

    void daemonsHoldingFilesAreAskedToQuit_data()
    {
        QTest::addColumn<bool>("switchOn");
        QTest::newRow("nodealmacmail off: asked to quit") << false;
        QTest::newRow("nodealmacmail on: left alone") << true;
    }

    void daemonsHoldingFilesAreAskedToQuit()
    {
        QFETCH(bool, switchOn);
        if (switchOn)
            m_fixture.zorvane().setObject(QStringLiteral("YES"), SettingsKeys::NoDealMacMail);
        const QString daemon = QStringLiteral("evolution-source-registry");
        QProcess* holding =
            m_fixture.standIns.start(daemon, {QStringLiteral("fd"), mailFileIn(QStringLiteral("Evolution"))});
        QProcess* elsewhere = m_fixture.standIns.start(daemon);
        QVERIFY(holding && elsewhere);
        QSignalSpy finished(m_fixture.controller.get(), &StatusAttachDiskImageController::autoLockFinished);
        QVERIFY(quit(running(QStringLiteral("thunderbird"))));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        QCOMPARE(finished.at(0).at(1).toBool(), !switchOn);
        QCOMPARE(holding->state() == QProcess::NotRunning, !switchOn);
        QCOMPARE(elsewhere->state(), QProcess::Running); // holds nothing in this vault
        QCOMPARE(TestVaults::isMounted(QStringLiteral("Mail")), switchOn);
        // Named once, though the tool gives only the first 15 characters of its name.
        if (switchOn)
            QCOMPARE(m_fixture.notices->texts(),
                     QStringList{VaultAutoLock::stillUsingText(daemon, QStringLiteral("Mail"))});
    }

    void aForcedDetachIsChecked()
    {
        // A tool whose detach always fails, and nothing holds files in the vault.
        QTemporaryDir folder;
        QFile script(folder.filePath(QStringLiteral("script.json")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QJsonDocument(QJsonObject{{"detach", QJsonObject{{"exit", 16}}}}).toJson());
        script.close();
        qputenv("ZV_FAKE_TOOL_SCRIPT", script.fileName().toLocal8Bit());
        qputenv("ZV_FAKE_TOOL_LOG", folder.filePath(QStringLiteral("tool.log")).toLocal8Bit());
        QProcess* thunderbird = running(QStringLiteral("thunderbird"));
        QVERIFY(thunderbird);
        BundleLayout::setDiskImageToolPath(TestPaths::helper(QStringLiteral("runner_fake_tool")));
        QSignalSpy finished(m_fixture.controller.get(), &StatusAttachDiskImageController::autoLockFinished);
        QVERIFY(quit(thunderbird));
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(1).toBool(), false); // still in the mount table: not reported locked

        QFile log(folder.filePath(QStringLiteral("tool.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QStringList commands;
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (!line.isEmpty())
                commands.append(
                    QJsonDocument::fromJson(line).object().value("args").toVariant().toStringList().join(
                        ' '));
        }
        const QString mountPoint = Paths::mountPoint(QStringLiteral("Mail"));
        QCOMPARE(commands, (QStringList{"detach " + mountPoint, "detach " + mountPoint,
                                        "detach " + mountPoint, "detach " + mountPoint + " -force"}));
        QCOMPARE(m_fixture.notices->notices.size(), 1);
        QCOMPARE(m_fixture.notices->notices.first().title, QStringLiteral("Can't Lock vault: Mail"));
        QCOMPARE(m_fixture.notices->notices.first().text,
                 VaultAutoLock::notLockedText(QStringLiteral("Mail")));
    }

    // The real watcher: a launch whose child outlives it has quit only when the child ends.
    void aChildOutlivingItsParentKeepsTheVaultOpen()
    {
        LinuxProcessWatcher::Options options;
        options.pathPrefix = m_fixture.standIns.folder();
        options.intervalMs = 20;
        LinuxProcessWatcher watcher(options);
        m_fixture.controller = m_fixture.makeController(&watcher);
        m_fixture.controller->finishlauch();
        QSignalSpy finished(m_fixture.controller.get(), &StatusAttachDiskImageController::autoLockFinished);

        QProcess* thunderbird =
            m_fixture.standIns.start(QStringLiteral("thunderbird"), {QStringLiteral("fork")});
        QVERIFY(thunderbird);
        const qint64 child = thunderbird->property("child").toLongLong();
        QTRY_VERIFY(watcher.trackedLaunchCount() == 1);
        thunderbird->kill();
        QVERIFY(StandIns::ended(thunderbird));
        QTest::qWait(300);
        QCOMPARE(finished.count(), 0);
        QVERIFY(TestVaults::isMounted(QStringLiteral("Mail")));
        ::kill(pid_t(child), SIGKILL); // started by our stand-in
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!TestVaults::isMounted(QStringLiteral("Mail")));
    }
};

QTEST_MAIN(TestAutoLock)
#include "TestAutoLock.moc"

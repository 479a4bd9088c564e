// Holding a launch: the launched process and its children stopped through pidfds, what it was
// started with, ending it, taking over a hold after a restart; starting a program detached
// exactly as another process ran it.
#include "core/processes/DaemonQuitter.h"
#include "platform/DetachedProgram.h"
#include "platform/LaunchHold.h"
#include "tests/support/StandIns.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

class TestLaunchHold : public QObject
{
    Q_OBJECT

    StandIns m_standIns;

    static bool gone(qint64 pid)
    {
        const char state = StandIns::state(pid);
        return state == 0 || state == 'Z';
    }

private Q_SLOTS:
    void cleanup() { m_standIns.stopAll(); }

    void holdsTheTreeAndEndsIt()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ZV_MARK"), QStringLiteral("held"));
        QProcess* parent =
            m_standIns.start(QStringLiteral("zvhold-parent"), {QStringLiteral("fork")}, true, environment);
        QVERIFY(parent);
        const WatchedProcess launch = StandIns::describe(parent->processId());
        const qint64 child = parent->property("child").toLongLong();
        QVERIFY(child > 0);

        auto hold = LaunchHold::hold(launch.pid, launch.startTime);
        QVERIFY(hold);
        QCOMPARE(hold->rootPid(), launch.pid);
        QVERIFY(hold->contains(child));
        QCOMPARE(StandIns::state(launch.pid), 'T');
        QCOMPARE(StandIns::state(child), 'T');
        QVERIFY(hold->isRootAlive());
        const LaunchCommand& command = hold->command();
        QCOMPARE(QFile::decodeName(command.program), m_standIns.program(QStringLiteral("zvhold-parent")));
        QCOMPARE(command.arguments, StandIns::arguments(launch.pid));
        QVERIFY(command.environment.contains("ZV_MARK=held"));
        QVERIFY(!hold->join(getpid(), 0)); // not a child of the held tree: left alone

        hold->end();
        QVERIFY(StandIns::ended(parent));
        QTRY_VERIFY(gone(child));
        QVERIFY(!hold->isRootAlive());
        hold->end(); // twice is harmless
    }

    void aPidGivenOutAgainIsNotHeld()
    {
        QProcess* process = m_standIns.start(QStringLiteral("zvhold-other"));
        QVERIFY(process);
        const WatchedProcess seen = StandIns::describe(process->processId());
        QVERIFY(!LaunchHold::hold(seen.pid, seen.startTime + 1));
        QVERIFY(StandIns::state(seen.pid) != 'T');
        QVERIFY(!LaunchHold::hold(999999999, 0));
    }

    void keepsTheWorkingFolder()
    {
        QTemporaryDir folder;
        QProcess sleeper;
        sleeper.setWorkingDirectory(folder.path());
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(sleeper.waitForStarted());
        const WatchedProcess seen = StandIns::describe(sleeper.processId());
        auto hold = LaunchHold::hold(seen.pid, seen.startTime);
        QVERIFY(hold);
        QCOMPARE(QFile::decodeName(hold->command().workingDirectory), QDir(folder.path()).canonicalPath());
        QCOMPARE(hold->command().arguments, StandIns::arguments(seen.pid));
        hold->end();
        QVERIFY(sleeper.waitForFinished(5000));
    }

    void aLaterRunTakesOverWhatIsStillStopped()
    {
        QProcess* process = m_standIns.start(QStringLiteral("zvhold-adopted"));
        QVERIFY(process);
        const WatchedProcess seen = StandIns::describe(process->processId());
        QList<LaunchHold::Member> members;
        {
            auto first = LaunchHold::hold(seen.pid, seen.startTime);
            QVERIFY(first);
            members = first->members();
        } // dropped without ending: the process stays stopped, as after a crash
        QCOMPARE(StandIns::state(seen.pid), 'T');
        QVERIFY(!LaunchHold::adopt({{seen.pid, seen.startTime + 1}}));
        auto adopted = LaunchHold::adopt(members);
        QVERIFY(adopted);
        QCOMPARE(adopted->command().arguments, StandIns::arguments(seen.pid));
        adopted->end();
        QVERIFY(StandIns::ended(process));

        // A process that runs again is no longer ours to take.
        QProcess* running = m_standIns.start(QStringLiteral("zvhold-adopted"));
        QVERIFY(running);
        const WatchedProcess other = StandIns::describe(running->processId());
        QVERIFY(!LaunchHold::adopt({{other.pid, other.startTime}}));
    }

    void quittingAsksFirstAndInsistsAfterTheGraceTime()
    {
        QProcess* polite = m_standIns.start(QStringLiteral("zvquit-polite"));
        QProcess* stubborn =
            m_standIns.start(QStringLiteral("zvquit-stubborn"), {QStringLiteral("stubborn")});
        QProcess* namesake = m_standIns.start(QStringLiteral("zvquit-polite"));
        QVERIFY(polite && stubborn && namesake);
        DaemonQuitter quitter;
        QSignalSpy finished(&quitter, &DaemonQuitter::finished);
        QElapsedTimer took;
        took.start();
        quitter.quit({polite->processId(), stubborn->processId()}, 400);
        QVERIFY(finished.isEmpty()); // answered from the event loop
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(took.elapsed() >= 400);
        QVERIFY(StandIns::ended(polite) && StandIns::ended(stubborn));
        QCOMPARE(namesake->state(), QProcess::Running); // same name, not asked

        quitter.quitNamed({QStringLiteral("zvquit-polite")});
        QTRY_COMPARE(finished.count(), 2);
        QVERIFY(StandIns::ended(namesake));
    }

    void startsDetachedExactlyAsTold()
    {
        QTemporaryDir folder;
        LaunchCommand command;
        command.program = "/bin/sleep";
        command.arguments = {"zv-renamed-sleep", "30"};
        command.workingDirectory = QFile::encodeName(folder.path());
        command.environment = {"ZV_MARK=detached", "PATH=/usr/bin:/bin"};
        const qint64 pid = DetachedProgram::start(command);
        QVERIFY(pid > 0);
        QCOMPARE(StandIns::arguments(pid), command.arguments);
        QCOMPARE(StandIns::environment(pid), command.environment);
        QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid)),
                 QDir(folder.path()).canonicalPath());
        QVERIFY(StandIns::describe(pid).parentPid != getpid()); // nobody here has to reap it
        // Nothing of ours is inherited (the program's loader may still have its own open a moment).
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const auto openFiles = [&fds] {
            QStringList open;
            for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System))
                open.append(fd + QLatin1Char('=') + QFile::symLinkTarget(fds.filePath(fd)));
            return open;
        };
        QTRY_COMPARE(openFiles(), (QStringList{"0=/dev/null", "1=/dev/null", "2=/dev/null"}));
        ::kill(pid_t(pid), SIGKILL);

        QString error;
        command.program = "/nonexistent/zv-program";
        QCOMPARE(DetachedProgram::start(command, &error), 0);
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLaunchHold)
#include "TestLaunchHold.moc"

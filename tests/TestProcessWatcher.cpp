// The process watcher on a made-up /proc tree (launch rules, wrapper exec, scripts, the end of a
// launch by descendants or by its own cgroup scope), on the live /proc with real stand-ins, and
// the Flatpak rules of which data a sandboxed process can use.
#include "core/processes/FlatpakSandbox.h"
#include "platform/LinuxProcessWatcher.h"
#include "tests/support/FakeProcTree.h"
#include "tests/support/StandIns.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

QStringList paths(const QSignalSpy& spy)
{
    QStringList result;
    for (const QList<QVariant>& call : spy)
        result.append(call.at(0).value<WatchedProcess>().applicationPath);
    return result;
}

QList<qint64> pids(const QSignalSpy& spy)
{
    QList<qint64> result;
    for (const QList<QVariant>& call : spy)
        result.append(call.at(0).value<WatchedProcess>().pid);
    return result;
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

} // namespace

class TestProcessWatcher : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeProcTree> m_tree;
    std::unique_ptr<QTemporaryDir> m_cgroups;

    // A desktop with a shell (100) and Thunderbird (101) with a content process (102).
    std::unique_ptr<LinuxProcessWatcher> startedWatcher()
    {
        m_tree->add(100, 1, "/usr/bin/gnome-shell");
        m_tree->add(101, 100, "/usr/lib/thunderbird/thunderbird", {}, {},
                    "/user.slice/app-gnome-thunderbird-101.scope");
        m_tree->add(102, 101, "/usr/lib/thunderbird/thunderbird");
        LinuxProcessWatcher::Options options;
        options.procRoot = m_tree->root();
        options.cgroupRoot = m_cgroups->path();
        options.intervalMs = 100000; // the test ticks
        auto watcher = std::make_unique<LinuxProcessWatcher>(options);
        watcher->start();
        return watcher;
    }

    void makeScope(const QByteArray& procs, const QByteArray& events)
    {
        const QString scope = m_cgroups->filePath("user.slice/app-gnome-thunderbird-101.scope");
        QVERIFY(QDir().mkpath(scope));
        QVERIFY(writeText(scope + "/cgroup.procs", procs));
        QVERIFY(writeText(scope + "/cgroup.events", events));
    }

private Q_SLOTS:
    void init()
    {
        m_tree = std::make_unique<FakeProcTree>();
        m_cgroups = std::make_unique<QTemporaryDir>();
    }

    void whatRunsAtStartIsNoLaunch()
    {
        auto watcher = startedWatcher();
        QSignalSpy launched(watcher.get(), &ProcessWatcher::applicationLaunched);
        watcher->scan();
        QCOMPARE(launched.count(), 0);
        QList<qint64> running;
        for (const WatchedProcess& app : watcher->runningApplications())
            running.append(app.pid);
        QCOMPARE(running, (QList<qint64>{100, 101})); // not the child running its parent's program
    }

    void launches_data()
    {
        QTest::addColumn<qint64>("parent");
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("comm");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("cwd");
        QTest::addColumn<QString>("applicationPath"); // empty: no launch
        QTest::addColumn<QString>("name");

        QTest::newRow("a new program") << qint64(100) << "/usr/bin/geary"
                                       << "" << QStringList{} << ""
                                       << "/usr/bin/geary"
                                       << "geary";
        QTest::newRow("a child running its parent's program")
            << qint64(101) << "/usr/lib/thunderbird/thunderbird"
            << "" << QStringList{} << ""
            << ""
            << "";
        QTest::newRow("a child running another program") << qint64(101) << "/usr/lib/firefox/firefox"
                                                         << "" << QStringList{} << ""
                                                         << "/usr/lib/firefox/firefox"
                                                         << "firefox";
        QTest::newRow("a name cut to 15 characters is the program's")
            << qint64(100) << "/opt/telegram/telegram-desktop"
            << "telegram-deskto" << QStringList{} << ""
            << "/opt/telegram/telegram-desktop"
            << "telegram-desktop";
        QTest::newRow("an interpreted script")
            << qint64(100) << "/usr/bin/python3.11"
            << "zim" << QStringList{"/usr/bin/python3", "-O", "/usr/bin/zim", "--gui"} << ""
            << "/usr/bin/zim"
            << "zim";
        QTest::newRow("a script by a relative path")
            << qint64(100) << "/usr/bin/dash"
            << "notes.sh" << QStringList{"/bin/sh", "bin/notes.sh"} << "/home/u"
            << "/home/u/bin/notes.sh"
            << "notes";
        QTest::newRow("a renamed process without its script is its program")
            << qint64(100) << "/usr/bin/element-desktop"
            << "Web Content" << QStringList{"element-desktop"} << ""
            << "/usr/bin/element-desktop"
            << "element-desktop";
    }

    void launches()
    {
        QFETCH(qint64, parent);
        QFETCH(QString, executable);
        QFETCH(QString, comm);
        QFETCH(QStringList, arguments);
        QFETCH(QString, cwd);
        QFETCH(QString, applicationPath);
        QFETCH(QString, name);
        auto watcher = startedWatcher();
        QSignalSpy launched(watcher.get(), &ProcessWatcher::applicationLaunched);
        m_tree->add(200, parent, executable, comm, arguments);
        if (!cwd.isEmpty())
            m_tree->setWorkingDirectory(200, cwd);
        watcher->scan();
        QCOMPARE(paths(launched), applicationPath.isEmpty() ? QStringList{} : QStringList{applicationPath});
        if (!name.isEmpty()) {
            const WatchedProcess process = launched.at(0).at(0).value<WatchedProcess>();
            QCOMPARE(process.name(), name);
            QCOMPARE(process.parentPid, parent);
            QCOMPARE(process.startTime, quint64(2000));
        }
        watcher->scan();
        QCOMPARE(launched.count(), applicationPath.isEmpty() ? 0 : 1); // reported once
    }

    void aWrapperThatExecsKeepsItsPid()
    {
        auto watcher = startedWatcher();
        QSignalSpy launched(watcher.get(), &ProcessWatcher::applicationLaunched);
        m_tree->add(300, 100, "/usr/bin/dash", "thunderbird", {"/bin/sh", "/usr/bin/thunderbird"});
        watcher->scan();
        QCOMPARE(paths(launched), QStringList{"/usr/bin/thunderbird"});
        m_tree->setExecutable(300, "/usr/lib/thunderbird/thunderbird");
        watcher->scan();
        QCOMPARE(paths(launched), (QStringList{"/usr/bin/thunderbird", "/usr/lib/thunderbird/thunderbird"}));
        QCOMPARE(pids(launched), (QList<qint64>{300, 300}));

        // An older process is looked at again within about a second of ticks.
        m_tree->setExecutable(100, "/usr/bin/kwin_x11");
        for (int tick = 0; tick < 12 && launched.count() < 3; ++tick)
            watcher->scan();
        QCOMPARE(pids(launched).value(2), qint64(100));
    }

    void aLaunchEndsWithItsLastDescendant()
    {
        auto watcher = startedWatcher();
        QSignalSpy ended(watcher.get(), &ProcessWatcher::applicationTerminated);
        const WatchedProcess thunderbird = watcher->runningApplications().value(1);
        QCOMPARE(thunderbird.pid, qint64(101));
        watcher->watchTermination(thunderbird);

        m_tree->remove(101); // the main process quits first, its child goes on
        watcher->scan();
        m_tree->add(103, 102, "/usr/lib/thunderbird/thunderbird");
        watcher->scan();
        m_tree->remove(102);
        watcher->scan();
        QCOMPARE(ended.count(), 0);
        m_tree->remove(103);
        watcher->scan();
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).value<WatchedProcess>(), thunderbird);
        watcher->scan();
        QCOMPARE(ended.count(), 1);
    }

    void aLaunchAlreadyOverStillEnds()
    {
        auto watcher = startedWatcher();
        QSignalSpy ended(watcher.get(), &ProcessWatcher::applicationTerminated);
        WatchedProcess gone{555, 100, 5550, "/usr/bin/geary", "/usr/bin/geary"};
        watcher->watchTermination(gone);
        QTRY_COMPARE(ended.count(), 1);
    }

    void itsOwnScopeDecides_data()
    {
        QTest::addColumn<QByteArray>("procs");
        QTest::addColumn<bool>("scopeDecides");
        QTest::newRow("a scope of its own") << QByteArray("101\n102\n") << true;
        QTest::newRow("a scope shared with its launcher") << QByteArray("100\n101\n102\n") << false;
    }

    void itsOwnScopeDecides()
    {
        QFETCH(QByteArray, procs);
        QFETCH(bool, scopeDecides);
        makeScope(procs, "populated 1\nfrozen 0\n");
        auto watcher = startedWatcher();
        QSignalSpy ended(watcher.get(), &ProcessWatcher::applicationTerminated);
        watcher->watchTermination(watcher->runningApplications().value(1));
        m_tree->remove(101);
        m_tree->remove(102);
        watcher->scan();
        QCOMPARE(ended.count(), scopeDecides ? 0 : 1);
        if (!scopeDecides)
            return;
        // A process we never saw (started and moved into the scope) keeps it populated.
        QTest::qWait(50);
        QCOMPARE(ended.count(), 0);
        QVERIFY(writeText(m_cgroups->filePath("user.slice/app-gnome-thunderbird-101.scope/cgroup.events"),
                          "populated 0\nfrozen 0\n"));
        QTRY_COMPARE(ended.count(), 1);
    }

    void flatpakData_data()
    {
        QTest::addColumn<QString>("sandbox");
        QTest::addColumn<QStringList>("visible");
        QTest::addColumn<QString>("data");
        QTest::addColumn<bool>("usable");

        const QString own = "/.var/app/org.mozilla.Thunderbird/.thunderbird";
        QTest::newRow("host, host data") << "" << QStringList{} << "/.thunderbird" << true;
        QTest::newRow("host, a sandbox's data") << "" << QStringList{} << own << false;
        QTest::newRow("its own sandbox's data") << "org.mozilla.Thunderbird" << QStringList{} << own << true;
        QTest::newRow("another sandbox's data")
            << "org.mozilla.Thunderbird" << QStringList{} << "/.var/app/org.gnome.Geary/data/geary" << false;
        QTest::newRow("host data it can see")
            << "org.mozilla.Thunderbird" << QStringList{"HOME/.thunderbird"} << "/.thunderbird" << true;
        QTest::newRow("host data it sees as a dangling link")
            << "org.mozilla.Thunderbird" << QStringList{"HOME/.thunderbird->/nowhere/.thunderbird"}
            << "/.thunderbird" << true;
        QTest::newRow("host data it can't see")
            << "org.mozilla.Thunderbird" << QStringList{"HOME/Downloads"} << "/.thunderbird" << false;
    }

    void flatpakData()
    {
        QFETCH(QString, sandbox);
        QFETCH(QStringList, visible);
        QFETCH(QString, data);
        QFETCH(bool, usable);
        const QString home = QStringLiteral("/home/someone");
        m_tree->add(400, 1, "/app/lib/thunderbird/thunderbird");
        if (!sandbox.isEmpty())
            m_tree->sandbox(400, sandbox, visible.replaceInStrings(QStringLiteral("HOME"), home));
        const ProcTable table(m_tree->root());
        QCOMPARE(FlatpakSandbox::applicationId(table, 400), sandbox);
        QCOMPARE(FlatpakSandbox::canUseData(table, 400, home + data, home), usable);
    }

    void flatpakWrappersAndRelaunch()
    {
        for (const char* wrapper : {"bwrap", "flatpak", "Flatpak", "flatpak-spawn"})
            QVERIFY2(FlatpakSandbox::isWrapper(QString::fromLatin1(wrapper)), wrapper);
        QVERIFY(!FlatpakSandbox::isWrapper(QStringLiteral("thunderbird")));
        QCOMPARE(FlatpakSandbox::relaunchArguments(QStringLiteral("org.mozilla.Thunderbird")),
                 (QStringList{"flatpak", "run", "org.mozilla.Thunderbird"}));
        QCOMPARE(FlatpakSandbox::sandboxOfData("/h/.var/app/org.x.Y/config/y", "/h"),
                 QStringLiteral("org.x.Y"));
        QCOMPARE(FlatpakSandbox::sandboxOfData("/h/.var/apps/org.x.Y", "/h"), QString());
    }

    // The live /proc, with real processes: only the stand-ins of this test are reported.
    void liveLaunchesWrappersAndChildren()
    {
        StandIns standIns;
        LinuxProcessWatcher::Options options;
        options.pathPrefix = standIns.folder();
        options.intervalMs = 20;
        LinuxProcessWatcher watcher(options);
        watcher.start();
        QSignalSpy launched(&watcher, &ProcessWatcher::applicationLaunched);
        QSignalSpy ended(&watcher, &ProcessWatcher::applicationTerminated);

        // A program whose child runs the same program: one launch, which ends with the child.
        QProcess* parent = standIns.start(QStringLiteral("zvwatch-parent"), {QStringLiteral("fork")}, false);
        QVERIFY(parent && parent->waitForReadyRead(10000));
        const qint64 child = parent->readLine().trimmed().split(' ').value(1).toLongLong();
        QVERIFY(child > 0);
        QTRY_VERIFY(pids(launched).contains(parent->processId()));
        const WatchedProcess launch = launched.last().at(0).value<WatchedProcess>();
        QCOMPARE(launch.applicationPath, standIns.program(QStringLiteral("zvwatch-parent")));
        watcher.watchTermination(launch);
        QTest::qWait(100);
        QVERIFY(!pids(launched).contains(child));
        parent->kill();
        parent->waitForFinished();
        QTest::qWait(150);
        QCOMPARE(ended.count(), 0); // the child still runs (and nobody reaps it when it ends)
        ::kill(pid_t(child), SIGKILL);
        QTRY_COMPARE(ended.count(), 1);

        // A wrapper script that execs the program after a while keeps its pid.
        const QString wrapper = standIns.folder() + QStringLiteral("/zvwatch-wrapper");
        const QString program = standIns.program(QStringLiteral("zvwatch-program"));
        QVERIFY(writeText(wrapper, "#!/bin/sh\nsleep 0.3\nexec " + program.toUtf8() + " sleep\n"));
        QVERIFY(QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcess script;
        script.start(wrapper, {});
        QVERIFY(script.waitForStarted());
        QTRY_VERIFY(paths(launched).contains(program));
        const qsizetype at = paths(launched).indexOf(program);
        QCOMPARE(pids(launched).at(at), script.processId());
        QVERIFY(paths(launched).contains(wrapper)); // the script was a launch of its own first
        script.kill();
        script.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestProcessWatcher)
#include "TestProcessWatcher.moc"

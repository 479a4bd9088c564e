#include "core/processes/ProcessInfo.h"
#include "core/system/LoginItemMarker.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TreeBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The holder helper under a name of the test's choosing: the kernel names a process after the
// file it runs.
class Programs
{
public:
    QString named(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        if (!QFileInfo::exists(path))
            QFile::copy(TestPaths::helper(QStringLiteral("proc_holder")), path);
        return path;
    }

private:
    QTemporaryDir m_dir;
};

struct StopChild
{
    void operator()(QProcess* p) const
    {
        p->kill();
        p->waitForFinished();
        delete p;
    }
};
using Child = std::unique_ptr<QProcess, StopChild>;

Child startChild(const QString& program, const QStringList& args = {QStringLiteral("sleep")})
{
    Child p(new QProcess);
    p->start(program, args);
    if (!p->waitForReadyRead(10000) || !p->readAll().startsWith("ready")) {
        qWarning() << "helper did not start:" << program << args << p->readAllStandardError();
        return nullptr;
    }
    return p;
}

// Started outside this process's family: its parent is not us.
qint64 startDetached(const QString& program)
{
    qint64 pid = 0;
    if (!QProcess::startDetached(program, {QStringLiteral("sleep")}, QString(), &pid))
        return 0;
    const ProcTable table;
    for (int i = 0; i < 500 && table.executable(pid) != program; ++i)
        QTest::qWait(10);
    return pid;
}

bool gone(qint64 pid)
{
    ProcTable::Stat st;
    for (int i = 0; i < 300; ++i) {
        if (!ProcTable().readStat(pid, &st) || st.state == 'Z')
            return true;
        QTest::qWait(10);
    }
    return false;
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

} // namespace

class TestProcessInfo : public QObject
{
    Q_OBJECT

private:
    Programs m_programs;
    QList<qint64> m_detached;

    qint64 detached(const QString& name)
    {
        const qint64 pid = startDetached(m_programs.named(name));
        m_detached.append(pid);
        return pid;
    }

private Q_SLOTS:
    void cleanup()
    {
        for (qint64 pid : std::as_const(m_detached))
            ::kill(pid_t(pid), SIGKILL);
        m_detached.clear();
    }

    void snapshotOfTheLiveTable()
    {
        ProcessInfo info;
        QCOMPARE(info.numberOfProcesses(), -1);
        QVERIFY(!info.findProcessWithName(QStringLiteral("TestProcessInfo")));
        info.obtainFreshProcessList();
        QVERIFY(info.numberOfProcesses() > 1);
        QCOMPARE(info.processList().size(), info.numberOfProcesses());
        QCOMPARE(info.pidDarwinList().size(), info.numberOfProcesses());
        const qsizetype self = info.pidDarwinList().indexOf(QString::number(getpid()));
        QVERIFY(self >= 0);
        QCOMPARE(info.processList().at(self), QStringLiteral("TestProcessInfo"));

        auto a = startChild(m_programs.named(QStringLiteral("ZvTwinDaemon")));
        auto b = startChild(m_programs.named(QStringLiteral("ZvTwinDaemon")));
        QVERIFY(a && b);
        info.obtainFreshProcessList();
        QCOMPARE(info.findProcessWithNameForNum(QStringLiteral("zvtwindaemon")), 2);
    }

    void findsRunningProcessesByName_data()
    {
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("found");
        QTest::newRow("same name") << "ZvSleepAlpha"
                                   << "ZvSleepAlpha" << true;
        QTest::newRow("other case") << "ZvSleepAlpha"
                                    << "zvsleepALPHA" << true;
        QTest::newRow("prefix is another program") << "ZvSleepAlpha"
                                                   << "ZvSleep" << false;
        QTest::newRow("long name through the executable") << "ZvLongHelperNameXYZ"
                                                          << "zvlonghelpernamexyz" << true;
        QTest::newRow("long name sharing 15 characters") << "ZvLongHelperNameXYZ"
                                                         << "ZvLongHelperNameABC" << false;
        QTest::newRow("application name drops the extension") << "ZvBundled.bin"
                                                              << "zvbundled" << true;
    }
    void findsRunningProcessesByName()
    {
        QFETCH(QString, running);
        QFETCH(QString, asked);
        QFETCH(bool, found);
        auto child = startChild(m_programs.named(running));
        QVERIFY(child);
        ProcessInfo info;
        info.obtainFreshProcessList();
        QCOMPARE(info.findProcessWithName(asked), found);
        QCOMPARE(info.findProcessnameWithPid(QString::number(child->processId())),
                 QFileInfo(running).completeBaseName().toLower());
        child->kill();
        child->waitForFinished();
        info.obtainFreshProcessList();
        QVERIFY(!info.findProcessWithName(asked));
    }

    void killsDaemonsByExactNameOnly_data()
    {
        QTest::addColumn<QString>("running");
        QTest::addColumn<QString>("killName");
        QTest::addColumn<bool>("killed");
        QTest::newRow("exact") << "ZvDaemonOne"
                               << "ZvDaemonOne" << true;
        QTest::newRow("other case is another name") << "ZvDaemonOne"
                                                    << "zvdaemonone" << false;
        QTest::newRow("prefix") << "ZvDaemonOne"
                                << "ZvDaemon" << false;
        QTest::newRow("long exact") << "ZvLongDaemonNameXYZ"
                                    << "ZvLongDaemonNameXYZ" << true;
        QTest::newRow("long, same first 15 characters") << "ZvLongDaemonNameXYZ"
                                                        << "ZvLongDaemonNameABC" << false;
        QTest::newRow("the truncated short name is no name") << "ZvLongDaemonNameXYZ"
                                                             << "ZvLongDaemonNam" << false;
    }
    void killsDaemonsByExactNameOnly()
    {
        QFETCH(QString, running);
        QFETCH(QString, killName);
        QFETCH(bool, killed);
        auto child = startChild(m_programs.named(running));
        QVERIFY(child);
        ProcessInfo::KillDaemonByName(killName);
        QCOMPARE(child->waitForFinished(killed ? 5000 : 300), killed);
        if (killed)
            QCOMPARE(child->exitStatus(), QProcess::CrashExit);
    }

    void killProcessByName()
    {
        // Started by us: left running.
        auto own = startChild(m_programs.named(QStringLiteral("ZvOwnChild")));
        QVERIFY(own);
        QCOMPARE(ProcessInfo::KillProcessByName(QStringLiteral("zvownchild")), 2);
        QVERIFY(!own->waitForFinished(300));

        const qint64 other = detached(QStringLiteral("ZvStranger"));
        QVERIFY(other > 0);
        QCOMPARE(ProcessInfo::KillProcessByName(QStringLiteral("ZVSTRANGER")), 1);
        QVERIFY(gone(other));
        QCOMPARE(ProcessInfo::KillProcessByName(QStringLiteral("ZvStranger")), 0);

        const qint64 first = detached(QStringLiteral("ZvCrowd"));
        const qint64 second = detached(QStringLiteral("ZvCrowd"));
        auto child = startChild(m_programs.named(QStringLiteral("ZvCrowd")));
        QVERIFY(first > 0 && second > 0 && child);
        QCOMPARE(ProcessInfo::KillAnyProcessByName(QStringLiteral("zvcrowd")), 1);
        QVERIFY(gone(first));
        QVERIFY(gone(second));
        QVERIFY(child->waitForFinished(5000));
        QCOMPARE(ProcessInfo::KillAnyProcessByName(QStringLiteral("zvcrowd")), 1);
    }

    void folderOpenByProcess_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("held"); // below the vault
        QTest::addColumn<bool>("inMountedVault");
        QTest::addColumn<bool>("reported");
        QTest::newRow("open file") << "fd"
                                   << "Mail/inbox" << false << true;
        QTest::newRow("open folder itself") << "fd"
                                            << "" << false << true;
        QTest::newRow("working folder") << "cwd"
                                        << "Mail" << false << true;
        QTest::newRow("mapped file") << "mmap"
                                     << "Mail/inbox" << false << true;
        QTest::newRow("sibling with the same prefix") << "fd"
                                                      << "../vault2/file" << false << false;
        QTest::newRow("nothing held") << "sleep"
                                      << "" << false << false;
        QTest::newRow("vault: only a mapped file") << "mmap"
                                                   << "Mail/inbox" << true << true;
        QTest::newRow("vault: open file") << "fd"
                                          << "Mail/inbox" << true << true;
        QTest::newRow("vault: working folder") << "cwd"
                                               << "Mail" << true << true;
        QTest::newRow("vault: nothing held") << "sleep"
                                             << "" << true << false;
    }
    void folderOpenByProcess()
    {
        QFETCH(QString, mode);
        QFETCH(QString, held);
        QFETCH(bool, inMountedVault);
        QFETCH(bool, reported);
        QTemporaryDir dir;
        std::unique_ptr<TestVault> mounted;
        const QString vault = TestVault::folderFor(inMountedVault, dir.filePath("vault"), &mounted);
        QVERIFY(!vault.isEmpty());
        QVERIFY(TreeBuilder::build(vault, "f Mail/inbox 8192"));
        QVERIFY(TreeBuilder::build(dir.path(), "f vault2/file 8192"));
        auto child = startChild(m_programs.named(QStringLiteral("ZvHolder")), {mode, vault + '/' + held});
        QVERIFY(child);
        ProcessInfo info;
        QCOMPARE(info.FolderOpenByProcess(vault), reported ? QStringLiteral("zvholder") : QString());
        QVERIFY(info.FolderOpenByProcess(dir.filePath("missing")).isNull());
        child.reset(); // before the vault is unmounted
    }

    void highProcessIdsAreReported()
    {
        // Pids are handed out in order: use some up until the next one has five digits.
        QFile maxFile(QStringLiteral("/proc/sys/kernel/pid_max"));
        QVERIFY(maxFile.open(QIODevice::ReadOnly));
        if (maxFile.readAll().trimmed().toLongLong() <= 20000)
            QSKIP("this kernel hands out no pids of five digits");
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), "f vault/db 100"));
        Child holder;
        for (int attempt = 0; attempt < 3 && !holder; ++attempt) {
            for (int i = 0; i < 40000; ++i) {
                const pid_t p = fork();
                if (p == 0)
                    _exit(0);
                waitpid(p, nullptr, 0);
                if (p >= 10000 && p < 30000)
                    break;
            }
            holder = startChild(m_programs.named(QStringLiteral("ZvHighPid")),
                                {QStringLiteral("fd"), dir.filePath("vault/db")});
            QVERIFY(holder);
            if (holder->processId() < 10000)
                holder.reset();
        }
        QVERIFY(holder);
        QVERIFY(holder->processId() >= 10000);
        ProcessInfo info;
        QCOMPARE(info.FolderOpenByProcess(dir.filePath("vault")), QStringLiteral("zvhighpid"));
    }

    void scansAMadeUpProcessTree()
    {
        QTemporaryDir dir;
        const QString vault = QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/vault");
        const QString proc = dir.filePath("proc");
        QVERIFY(TreeBuilder::build(dir.path(), "d vault\nd vault2"));
        const QByteArray v = QFile::encodeName(vault);
        // Maps lines carry the device of the mapped file's file system, as the kernel writes it.
        struct stat vaultStat;
        QCOMPARE(stat(v.constData(), &vaultStat), 0);
        const QByteArray dev =
            QString::asprintf("%02x:%02x", major(vaultStat.st_dev), minor(vaultStat.st_dev)).toLatin1();
        const QByteArray otherDev =
            QString::asprintf("%02x:%02x", major(vaultStat.st_dev) + 1, 7u).toLatin1();
        struct Fake
        {
            const char* pid;
            const char* stat;
            QByteArray exe, cwd, fd, maps, root = "/";
        };
        const QList<Fake> fakes{
            {"1234567", "1234567 (signal-desktop) S 1 0", "/opt/Signal/signal-desktop (deleted)", "/", v,
             "7f00-7f01 r--p 0 08:01 1 /usr/lib/libc.so.6\n"},
            {"42", "42 (thunderbird) S 1 0", "/usr/lib/thunderbird/thunderbird", "/", "socket:[99]",
             "7f00-7f01 r-xp 0 " + dev + " 2 /usr/lib/x.so\n7f01-7f02 r--s 0 " + dev + " 1 " + v +
                 "/Mail/global-messages-db.sqlite (deleted)\n"},
            {"31337", "31337 (vim) S 1 0", "/usr/bin/vim", "/", v + "2/notes", ""},
            {"77", "77 (ZvLongHelperNam) S 1 0", "/x/ZvLongHelperNameXYZ", v + "/Mail", "pipe:[3]", ""},
            {"5", "5 (kthreadd) S 2 0", "", "", "", ""},
            // The same path on another file system: seen from another mount namespace.
            {"600", "600 (sandboxed) S 1 0", "/app/bin/sandboxed", "/", "pipe:[4]",
             "7f00-7f01 r--s 0 " + otherDev + " 1 " + v + "/Mail/inbox\n"},
            {"700", "700 (confined) S 1 0", "/usr/bin/confined", "/", "pipe:[5]", "", v},
        };
        for (const Fake& f : fakes) {
            const QString base = proc + QLatin1Char('/') + QLatin1String(f.pid);
            QVERIFY(QDir().mkpath(base + QStringLiteral("/fd")));
            QVERIFY(writeText(base + QStringLiteral("/stat"), f.stat));
            QVERIFY(writeText(base + QStringLiteral("/maps"), f.maps));
            const QList<std::pair<const char*, QByteArray>> links{
                {"/exe", f.exe}, {"/cwd", f.cwd}, {"/fd/4", f.fd}, {"/root", f.root}};
            for (const auto& [name, target] : links) {
                if (!target.isEmpty() && !f.exe.isEmpty())
                    QVERIFY(symlink(target.constData(),
                                    QFile::encodeName(base + QLatin1String(name)).constData()) == 0);
            }
        }
        QVERIFY(TreeBuilder::build(proc, "d self\nf 12ab/stat 1"));

        ProcessInfo info(proc);
        info.obtainFreshProcessList();
        QCOMPARE(info.numberOfProcesses(), 7);
        QCOMPARE(info.pidDarwinList(), (QStringList{"5", "42", "77", "600", "700", "31337", "1234567"}));
        QCOMPARE(info.processList().at(2), QStringLiteral("ZvLongHelperNam"));
        QVERIFY(info.findProcessWithName(QStringLiteral("THUNDERBIRD")));
        QVERIFY(info.findProcessWithName(QStringLiteral("ZvLongHelperNameXYZ")));
        QVERIFY(!info.findProcessWithName(QStringLiteral("ZvLongHelperNameABC")));
        QCOMPARE(info.findProcessnameWithPid(QStringLiteral("1234567")), QStringLiteral("signal-desktop"));
        QVERIFY(info.findProcessnameWithPid(QStringLiteral("5")).isNull());
        QVERIFY(info.findProcessnameWithPid(QStringLiteral("abc")).isNull());
        // Pid order; the seven-digit pid is reported like any other.
        QCOMPARE(info.FolderOpenByProcess(vault),
                 QStringLiteral("thunderbird,zvlonghelpernamexyz,confined,signal-desktop"));
        QVERIFY(info.FolderOpenByProcess(vault + QStringLiteral("/Mail/none")).isNull());

        ProcessInfo broken(dir.filePath("no-proc"));
        broken.obtainFreshProcessList();
        QCOMPARE(broken.numberOfProcesses(), -1);
        QVERIFY(!broken.findProcessWithName(QStringLiteral("thunderbird")));
        QCOMPARE(broken.findProcessWithNameForNum(QStringLiteral("thunderbird")), 0);
    }

    void launchedAsLoginItem_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("started by hand") << QStringList{"login"} << QByteArray("0");
        QTest::newRow("autostart entry") << QStringList{"login", kLoginItemMarker} << QByteArray("1");
        QTest::newRow("similar argument") << QStringList{"login", "--launched-as-login"} << QByteArray("0");
    }
    void launchedAsLoginItem()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, answer);
        QProcess p;
        p.start(TestPaths::helper(QStringLiteral("proc_holder")), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.readAllStandardOutput().trimmed(), answer);
        QVERIFY(!ProcessInfo::wasLaunchedAsLoginItem());
        QVERIFY(!ProcessInfo::wasLaunchedByProcess(QStringLiteral("lgnw")));
    }
};

QTEST_GUILESS_MAIN(TestProcessInfo)
#include "TestProcessInfo.moc"

#include "core/files/JobRecovery.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/ImageWorkFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <optional>
#include <unistd.h>

namespace {

const QByteArray kPassword = "unfinished-pw";

enum class Moment
{
    AfterDelay,      // SIGKILL to the tool after a fixed time
    FolderMade,      // as soon as its work folder exists
    EngineStopped,   // the tool killed while its engine is held stopped
    GroupWithEngine, // the tool and its engine killed together
};

enum class Sweeper
{
    NextCreate,
    StartRecordedVault,
    StartVaultFolder,
};

// The pids whose parent is pid.
QList<pid_t> childrenOf(pid_t pid)
{
    QList<pid_t> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t child = pid_t(entry.toInt(&numeric));
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toInt() == pid)
            children.append(child);
    }
    return children;
}

bool waitFor(const std::function<bool()>& condition, int ms = 20000)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::usleep(300);
    }
    return true;
}

char stateOf(const QString& statPath)
{
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    return line.at(line.lastIndexOf(')') + 2);
}

bool isStopped(pid_t pid)
{
    return stateOf(QStringLiteral("/proc/%1/stat").arg(pid)) == 'T';
}

// Every thread gone or a zombie: the descriptors (and the locks) are released only once the
// last thread is, and a leader shows "Z" while the other threads are still being torn down.
bool hasEnded(pid_t pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const char state = stateOf(tasks + QLatin1Char('/') + task + QStringLiteral("/stat"));
        if (state != 0 && state != 'Z' && state != 'X')
            return false;
    }
    return true;
}

} // namespace

// A vault creation killed at any moment leaves no half image under its name, and the work
// folder it leaves is taken away by the next creation in that folder or by the start-up
// recovery, never while a creation still works in it.
class TestUnfinishedImages : public QObject
{
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_dir;
    int m_creations = 0;

    QString folder() const { return m_dir->path(); }
    QString image(const QString& name) const { return folder() + QLatin1Char('/') + name + ".sparsebundle"; }

    // Entries a creation leaves beside its image: work folders and their lock files.
    QStringList leftovers() const
    {
        QStringList found;
        for (const QString& name :
             QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            if (name.contains(QStringLiteral(".creating-")))
                found.append(name);
        return found;
    }

    std::unique_ptr<QProcess> startCreate(const QString& name, bool ownGroup = false)
    {
        auto tool = std::make_unique<QProcess>();
        if (ownGroup)
            tool->setChildProcessModifier([] { ::setpgid(0, 0); });
        tool->start(TestPaths::toolPath(),
                    {"create", "-puppetstrings", "-stdinpass", "-encryption", "AES-256", "-size", "100M",
                     "-fs", "HFS+", "-layout", "NONE", "-volname", name, image(name)});
        if (!tool->waitForStarted())
            return nullptr;
        // Handed over now: the test polls without an event loop.
        tool->write(kPassword);
        tool->waitForBytesWritten();
        tool->closeWriteChannel();
        return tool;
    }

    void sweep(Sweeper how)
    {
        if (how == Sweeper::NextCreate) {
            const QString name = QStringLiteral("Next%1").arg(++m_creations);
            QVERIFY(!TestVaults::create(folder(), name, kPassword).isEmpty());
            return;
        }
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        if (how == Sweeper::StartRecordedVault)
            settings.setObject(QVariantMap{{QStringLiteral("Other"), image(QStringLiteral("Other"))}},
                               SettingsKeys::VaultItem);
        else
            settings.setObject(folder(), SettingsKeys::DefaultVaultLocation);
        JobRecovery::removeUnfinishedImages(settings);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(TestPaths::homeIsPrivate()); }

    void init()
    {
        m_dir.emplace(Paths::home() +
                      QStringLiteral("/vaults-XXXXXX")); // the session removes what a crash leaves
        QVERIFY(m_dir->isValid());
        QFile::remove(Paths::settingsFile(SettingsStore::kZorvaneDomain));
    }

    void cleanup() { m_dir.reset(); }

    void killedCreation_data()
    {
        QTest::addColumn<Moment>("moment");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("cheapKey");
        QTest::addColumn<Sweeper>("sweeper");
        // The moments a user saw three work folders left behind.
        QTest::newRow("killed at 50 ms") << Moment::AfterDelay << 50 << false << Sweeper::NextCreate;
        QTest::newRow("killed at 100 ms") << Moment::AfterDelay << 100 << false << Sweeper::NextCreate;
        QTest::newRow("killed at 200 ms") << Moment::AfterDelay << 200 << false << Sweeper::StartVaultFolder;
        QTest::newRow("killed once its folder exists")
            << Moment::FolderMade << 0 << true << Sweeper::StartRecordedVault;
        QTest::newRow("killed while the engine sets up, engine lingers")
            << Moment::EngineStopped << 0 << false << Sweeper::NextCreate;
        QTest::newRow("killed with its engine")
            << Moment::GroupWithEngine << 0 << false << Sweeper::StartVaultFolder;
    }

    void killedCreation()
    {
        QFETCH(Moment, moment);
        QFETCH(int, delayMs);
        QFETCH(bool, cheapKey);
        QFETCH(Sweeper, sweeper);
        if (cheapKey)
            TestVaults::useCheapKeyDerivation();
        else
            qunsetenv("ZV_HDIUTIL_SCRYPTN");

        std::unique_ptr<QProcess> tool =
            startCreate(QStringLiteral("Data"), moment == Moment::GroupWithEngine);
        QVERIFY(tool);
        const pid_t pid = pid_t(tool->processId());
        pid_t engine = 0;
        switch (moment) {
        case Moment::AfterDelay:
            QThread::msleep(delayMs);
            break;
        case Moment::FolderMade:
            QVERIFY(waitFor([&] { return !leftovers().isEmpty(); }));
            break;
        case Moment::EngineStopped:
        case Moment::GroupWithEngine:
            QVERIFY(waitFor([&] { return !childrenOf(pid).isEmpty(); }));
            break;
        }
        // Stopped first, so no engine starts between the look for it and the kill.
        ::kill(pid, SIGSTOP);
        QVERIFY(waitFor([&] { return isStopped(pid) || hasEnded(pid); }));
        const QList<pid_t> engines = childrenOf(pid);
        if (moment == Moment::EngineStopped) {
            QCOMPARE(engines.size(), 1);
            engine = engines.first();
            ::kill(engine, SIGSTOP);
        }
        ::kill(moment == Moment::GroupWithEngine ? -pid : pid, SIGKILL);
        tool->waitForFinished();
        TestVaults::useCheapKeyDerivation();

        if (moment == Moment::EngineStopped) {
            // The engine still holds the work folder: nothing may take it away.
            const QStringList held = leftovers();
            QVERIFY(!held.isEmpty());
            sweep(sweeper);
            for (const QString& name : held)
                QVERIFY2(leftovers().contains(name), qPrintable(name));
            ::kill(engine, SIGKILL);
        }
        // An engine left running finishes on its own; until then its folder is in use.
        for (pid_t left : engines)
            QVERIFY(waitFor([&] { return hasEnded(left); }));

        // Nothing half made under the vault's name: either nothing, or the whole image.
        if (QFileInfo::exists(image(QStringLiteral("Data"))))
            QVERIFY(DiskImageMetadata::isImage(image(QStringLiteral("Data"))));
        sweep(sweeper);
        QCOMPARE(leftovers(), QStringList());
        // The folder takes a new creation of the same name when the first never finished.
        if (!QFileInfo::exists(image(QStringLiteral("Data"))))
            QVERIFY(!TestVaults::create(folder(), QStringLiteral("Data"), kPassword).isEmpty());
        QCOMPARE(leftovers(), QStringList());
    }

    void runningCreationKeepsItsFolder()
    {
        qunsetenv("ZV_HDIUTIL_SCRYPTN"); // a key derivation slow enough to catch its engine
        std::unique_ptr<QProcess> tool = startCreate(QStringLiteral("Slow"));
        TestVaults::useCheapKeyDerivation();
        QVERIFY(tool);
        const pid_t pid = pid_t(tool->processId());
        // Its engine runs once the folder is made and locked.
        QVERIFY(waitFor([&] { return !childrenOf(pid).isEmpty(); }));
        ::kill(pid, SIGSTOP);
        const QStringList working = leftovers();
        QCOMPARE(working.size(), 2);

        // Another creation in the folder and the start-up recovery both leave it alone.
        sweep(Sweeper::NextCreate);
        sweep(Sweeper::StartVaultFolder);
        for (const QString& name : working)
            QVERIFY2(leftovers().contains(name), qPrintable(name));

        ::kill(pid, SIGCONT);
        QVERIFY(tool->waitForFinished(60000));
        QCOMPARE(tool->exitCode(), 0);
        QVERIFY(DiskImageMetadata::isImage(image(QStringLiteral("Slow"))));
        QCOMPARE(leftovers(), QStringList());
    }

    void leftoverShapes_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("removed");
        // What a creation cut off at its later steps leaves.
        QTest::newRow("engine's files and the description")
            << QStringList{"cipher/gocryptfs.conf", "cipher/gocryptfs.diriv", "Image.plist"} << true;
        QTest::newRow("cut off while writing the description")
            << QStringList{"cipher/gocryptfs.conf", "cipher/gocryptfs.diriv", ".Image.plist.Qw3rTy"} << true;
        QTest::newRow("cut off while the engine wrote") << QStringList{"cipher/gocryptfs.conf.tmp"} << true;
        // Named like a work folder, but holding what no creation makes: never emptied.
        QTest::newRow("a file of the user") << QStringList{"cipher/gocryptfs.conf", "notes.txt"} << false;
        QTest::newRow("a folder in the encrypted folder") << QStringList{"cipher/AbCdEf/x"} << false;
        QTest::newRow("an unknown file in the encrypted folder") << QStringList{"cipher/photo.jpg"} << false;
    }

    void leftoverShapes()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, removed);
        const QString work = folder() + QStringLiteral("/.Data.sparsebundle.creating-Ab12Cd");
        for (const QString& file : files) {
            QVERIFY(QDir().mkpath(QFileInfo(work + QLatin1Char('/') + file).absolutePath()));
            QFile f(work + QLatin1Char('/') + file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("keep") == 4);
        }
        QCOMPARE(ImageWorkFolder::removeAbandoned(folder()), removed ? QStringList{work} : QStringList());
        for (const QString& file : files)
            QCOMPARE(QFileInfo::exists(work + QLatin1Char('/') + file), !removed);
        QCOMPARE(leftovers(), removed ? QStringList() : QStringList{QFileInfo(work).fileName()});
    }

    void strayLockFileGoes()
    {
        // Killed between the rename into place and the lock file's removal.
        QFile lock(folder() + QStringLiteral("/.Data.sparsebundle.creating-Zz99Yy.lock"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.close();
        QCOMPARE(ImageWorkFolder::removeAbandoned(folder()), QStringList());
        QCOMPARE(leftovers(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestUnfinishedImages)
#include "TestUnfinishedImages.moc"

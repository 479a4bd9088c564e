#include "core/files/FileOperation.h"
#include "core/files/PathSafety.h"
#include "core/files/TreeSize.h"
#include "core/files/WalkQueue.h"
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/system/BundleLayout.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/MountTable.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VaultVolume.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"
#include "tests/support/TreeBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>

namespace {

const QByteArray kPassword = "usage-pw";

qint64 actualStored(const QString& image)
{
    return VaultVolume::bytesStored(DiskImageMetadata::cipherPath(image));
}

// The figures once the queue has answered.
std::optional<VaultUsageFigures> settled(VaultUsage& usage, WalkQueue& walks, const QString& image)
{
    usage.figures(image, MountTable::read());
    if (!walks.waitForIdle(20000))
        return std::nullopt;
    return usage.figures(image, MountTable::read());
}

QVariantMap infoOf(const QString& image)
{
    QProcess tool;
    tool.start(TestPaths::toolPath(), {QStringLiteral("info"), QStringLiteral("-plist")});
    if (!tool.waitForFinished(20000))
        return {};
    const std::optional<QVariant> plist = PropertyList::fromData(tool.readAllStandardOutput());
    for (const QVariant& entry : plist.value_or(QVariant()).toMap().value(QStringLiteral("images")).toList())
        if (entry.toMap().value(QStringLiteral("image-path")).toString() ==
            QFileInfo(image).canonicalFilePath())
            return entry.toMap();
    return {};
}

} // namespace

class TestVaultUsage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString m_image;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestVaults::prepare(), "run through tests/run-in-session.sh");
        QVERIFY(m_folder.isValid());
        m_image = TestVaults::create(m_folder.path(), QStringLiteral("Usage"), kPassword);
        QVERIFY(!m_image.isEmpty());
    }

    void init() { QVERIFY(TestVaults::runTool({"mount", "-stdinpass", m_image}, kPassword) == 0); }

    void cleanup() { QVERIFY(TestVaults::detach(QStringLiteral("Usage"))); }

    // The figures are right after a job's write and delete (from its reports, without a walk),
    // and after the job ends (measured again), and the tool's "info" reads them.
    void figuresFollowWritesDeletesAndJobEnd()
    {
        WalkQueue walks;
        VaultUsage usage(&walks);
        QVERIFY(!usage.figures(m_image, MountTable::read()));
        const std::optional<VaultUsageFigures> first = settled(usage, walks, m_image);
        QVERIFY(first);
        QCOMPARE(first->stored, actualStored(m_image));
        QCOMPARE(first->capacity, qint64(100) << 20);
        QCOMPARE(*first->free(), std::min(first->capacity - first->stored, *first->diskFree));
        QCOMPARE(VaultUsage::readState(m_image)->bytesStored, first->stored);

        const QString file = Paths::mountPoint(QStringLiteral("Usage")) + QStringLiteral("/payload");
        QVERIFY(TreeBuilder::writeFile(file, 300000));
        usage.addStoredBytes(m_image, 300000);
        QCOMPARE(usage.figures(m_image, MountTable::read())->stored, first->stored + 300000);
        QVERIFY(!usage.isMeasuring(m_image));

        QVERIFY(QFile::remove(file));
        usage.addStoredBytes(m_image, -300000);
        QCOMPARE(usage.figures(m_image, MountTable::read())->stored, first->stored);

        QVERIFY(TreeBuilder::writeFile(file, 120000));
        usage.jobEnded(m_image);
        QVERIFY(usage.isMeasuring(m_image));
        QVERIFY(walks.waitForIdle(20000));
        const qint64 stored = actualStored(m_image);
        QVERIFY(stored > first->stored + 120000);
        QCOMPARE(usage.figures(m_image, MountTable::read())->stored, stored);
        QCOMPARE(VaultUsage::readState(m_image)->bytesStored, stored);
        QCOMPARE(infoOf(m_image).value(QStringLiteral("bytes-stored")).toLongLong(), stored);
        QVERIFY(QFile::remove(file));
    }

    // Measured once per mount: asking again doesn't walk; a lock and an unlock measure again,
    // and so do figures older than the allowed age.
    void measuredOncePerMount()
    {
        WalkQueue walks;
        VaultUsage usage(&walks);
        QVERIFY(settled(usage, walks, m_image));
        usage.figures(m_image, MountTable::read());
        QVERIFY(!usage.isMeasuring(m_image));

        QVERIFY(TestVaults::detach(QStringLiteral("Usage")));
        usage.figures(m_image, MountTable::read());
        QVERIFY(usage.isMeasuring(m_image));
        QVERIFY(walks.waitForIdle(20000));
        QVERIFY(TestVaults::runTool({"mount", "-stdinpass", m_image}, kPassword) == 0);
        usage.figures(m_image, MountTable::read());
        QVERIFY(usage.isMeasuring(m_image));
        QVERIFY(walks.waitForIdle(20000));

        usage.setMaxAge(0);
        QThread::msleep(5);
        usage.figures(m_image, MountTable::read());
        QVERIFY(usage.isMeasuring(m_image));
        QVERIFY(walks.waitForIdle(20000));
    }

    // "info" takes the kept figures and walks only when there are none.
    void toolInfoReadsTheKeptFigures()
    {
        QVERIFY(VaultUsage::writeState(m_image, {12345, 23456, QDateTime::currentDateTimeUtc()}));
        QVariantMap image = infoOf(m_image);
        QCOMPARE(image.value(QStringLiteral("bytes-stored")).toLongLong(), qint64(12345));
        QCOMPARE(image.value(QStringLiteral("capacity")).toLongLong(), qint64(100) << 20);
        QCOMPARE(image.value(QStringLiteral("free-space")).toLongLong(), (qint64(100) << 20) - 12345);

        QVERIFY(QFile::remove(VaultUsage::stateFilePath(m_image)));
        image = infoOf(m_image);
        QCOMPARE(image.value(QStringLiteral("bytes-stored")).toLongLong(), actualStored(m_image));
        // Only an image of ours gets a state file.
        QVERIFY(!VaultUsage::writeState(m_folder.path(), {1, 1, {}}));
        QVERIFY(!QFile::exists(VaultUsage::stateFilePath(m_folder.path())));
    }

    // Walks of overlapping trees never run at once; other trees may; one waiting request of a
    // key answers everybody who asked; a gone asker gets nothing.
    void walkQueueKeepsTreesApart()
    {
        WalkQueue walks(3);
        std::atomic<int> inTree{0};
        std::atomic<int> mostInTree{0};
        std::atomic<int> running{0};
        std::atomic<int> mostRunning{0};
        const auto work = [&](bool sameTree) {
            return [&, sameTree] {
                const int now = ++running;
                mostRunning = std::max(mostRunning.load(), now);
                if (sameTree)
                    mostInTree = std::max(mostInTree.load(), ++inTree);
                QThread::msleep(100);
                if (sameTree)
                    --inTree;
                --running;
                return QVariant(sameTree);
            };
        };
        int answers = 0;
        QObject context;
        walks.enqueue(QStringLiteral("a"), QStringLiteral("/data/tree"), work(true), &context,
                      [&](const QVariant&) { ++answers; });
        walks.enqueue(QStringLiteral("b"), QStringLiteral("/data/tree/inner"), work(true), &context,
                      [&](const QVariant&) { ++answers; });
        walks.enqueue(QStringLiteral("c"), QStringLiteral("/data/tree/"), work(true), &context,
                      [&](const QVariant&) { ++answers; });
        walks.enqueue(QStringLiteral("d"), QStringLiteral("/data/other"), work(false), &context,
                      [&](const QVariant&) { ++answers; });
        walks.enqueue(QStringLiteral("e"), QStringLiteral("/data/treehouse"), work(false), &context,
                      [&](const QVariant&) { ++answers; });
        QVERIFY(walks.waitForIdle(10000));
        QCOMPARE(answers, 5);
        QCOMPARE(mostInTree.load(), 1);
        QVERIFY(mostRunning.load() >= 2);

        int joined = 0;
        int ran = 0;
        auto gone = std::make_unique<QObject>();
        walks.enqueue(
            QStringLiteral("slow"), QStringLiteral("/x"),
            [] {
                QThread::msleep(100);
                return QVariant();
            },
            &context, [](const QVariant&) {});
        walks.enqueue(
            QStringLiteral("size"), QStringLiteral("/x/y"),
            [&ran] {
                ++ran;
                return QVariant(7);
            },
            &context, [&](const QVariant& v) { joined += v.toInt(); });
        walks.enqueue(
            QStringLiteral("size"), QStringLiteral("/x/y"),
            [&ran] {
                ++ran;
                return QVariant(7);
            },
            gone.get(), [&](const QVariant& v) { joined += v.toInt(); });
        walks.enqueue(
            QStringLiteral("size"), QStringLiteral("/x/y"),
            [&ran] {
                ++ran;
                return QVariant(7);
            },
            &context, [&](const QVariant& v) { joined += v.toInt(); });
        gone.reset();
        QVERIFY(walks.waitForIdle(10000));
        QCOMPARE(ran, 1);
        QCOMPARE(joined, 14);
    }

    // The walk shared out over several threads adds up what the walks of one thread do.
    void treeSizeAddsUpLikeOneThread_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("measured"); // relative to the tree
        QTest::newRow("files, links, pipes")
            << "f a 1000\nf d/b 2000\nl d/ln -> ../a\nh d/hard -> a\np d/pipe\nf d/e/f 0\nd empty"
            << "";
        QTest::newRow("through a final link") << "f real/x 4096\nf real/y/z 10\nl link -> real"
                                              << "link";
        QTest::newRow("a file") << "f one 777"
                                << "one";
        QTest::newRow("missing") << "f one 1"
                                 << "none";
        QTest::newRow("wide and deep")
            << "f w/1/a 1\nf w/2/a 2\nf w/3/a 3\nf w/4/a 4\nf w/5/a 5\nf w/6/1/2/3/4/5/6/7/8/9/a 6"
            << "";
    }

    void treeSizeAddsUpLikeOneThread()
    {
        QFETCH(QString, tree);
        QFETCH(QString, measured);
        QTemporaryDir root;
        QVERIFY(TreeBuilder::build(root.path(), tree));
        const QString path = measured.isEmpty() ? root.path() : root.filePath(measured);
        QCOMPARE(TreeSize::measure(path), FileOperation::GetCapacity(path));
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
            QCOMPARE(qint64(TreeSize::measure(path, TreeSize::Count::EverythingButFolders)),
                     VaultVolume::bytesStored(path));
        QCOMPARE(TreeSize::measure(path, TreeSize::Count::RegularFiles, 1), TreeSize::measure(path));
    }

    void pathSafety_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("verdict");
        using V = PathSafety::Verdict;
        QTest::newRow("empty") << "" << int(V::Empty);
        QTest::newRow("relative") << "Mail" << int(V::Relative);
        QTest::newRow("root") << "/" << int(V::Root);
        QTest::newRow("root by dots") << "/tmp/.." << int(V::Root);
        QTest::newRow("home") << "HOME" << int(V::HomeOrAbove);
        QTest::newRow("home with slash") << "HOME/" << int(V::HomeOrAbove);
        QTest::newRow("above home") << "UP" << int(V::HomeOrAbove);
        QTest::newRow("home through a link") << "LINKED" << int(V::HomeOrAbove);
        QTest::newRow("volumes root") << "VOLUMES" << int(V::VolumesRoot);
        QTest::newRow("in a vault") << "VOLUMES/Mail/Inbox" << int(V::InsideVault);
        QTest::newRow("an image") << "IMAGES/V.sparsebundle" << int(V::VaultImage);
        QTest::newRow("inside an image") << "IMAGES/V.sparsebundle/cipher" << int(V::VaultImage);
        QTest::newRow("folder holding images") << "IMAGES" << int(V::VaultImage);
        QTest::newRow("vault folder") << "HOME/Zorvane" << int(V::VaultFolder);
        QTest::newRow("inside the vault folder") << "HOME/Zorvane/Notes" << int(V::Safe);
        QTest::newRow("mail store") << "HOME/.thunderbird" << int(V::Safe);
        QTest::newRow("beside the image") << "IMAGES2" << int(V::Safe);
    }

    void pathSafety()
    {
        QFETCH(QString, path);
        QFETCH(int, verdict);
        const QString home = QDir::homePath();
        const QString images = m_folder.filePath(QStringLiteral("images"));
        const QString linked = m_folder.filePath(QStringLiteral("link-to-above"));
        QFile::link(QFileInfo(home).absolutePath(), linked);
        PathSafety::Context context;
        context.home = home;
        context.volumesRoot = Paths::volumesRoot();
        context.vaultImages = {images + QStringLiteral("/V.sparsebundle")};
        context.vaultFolders = {home + QStringLiteral("/Zorvane")};
        path.replace(QStringLiteral("HOME"), home)
            .replace(QStringLiteral("UP"), QFileInfo(home).absolutePath())
            .replace(QStringLiteral("LINKED"), linked + QLatin1Char('/') + QFileInfo(home).fileName())
            .replace(QStringLiteral("VOLUMES"), Paths::volumesRoot())
            .replace(QStringLiteral("IMAGES"), images);
        QCOMPARE(int(PathSafety::check(path, context)), verdict);
    }
};

QTEST_MAIN(TestVaultUsage)
#include "TestVaultUsage.moc"

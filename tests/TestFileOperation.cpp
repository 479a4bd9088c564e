#include "core/files/FileOperation.h"
#include "core/files/MakeSymbolicLink.h"
#include "core/files/TreeCopier.h"
#include "tests/support/TreeBuilder.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

class RecordingIndicator : public CopyProgressIndicator
{
public:
    void setProgressMaximum(quint64 total) override { maximum = total; }
    void setProgressValue(quint64 done) override
    {
        value = done;
        highest = std::max(highest, done);
    }
    quint64 maximum = 0, value = 0, highest = 0;
};

struct CopyRun
{
    SharedString percent = SharedString::create();
    SharedString size = SharedString::create();
    SharedString over = SharedString::create();
    RecordingIndicator indicator;
    std::unique_ptr<FileOperation> op;

    CopyRun(const QString& source, const QString& dest, const QString& libPath = QString())
        : op(std::make_unique<FileOperation>(&indicator, source, dest, libPath, percent, size, over,
                                             QString()))
    {}
    // The outcome, waiting on the event loop like the callers' timers do.
    QString run()
    {
        op->startCopy();
        QElapsedTimer t;
        t.start();
        while (over.value().isEmpty() && t.elapsed() < 60000)
            QTest::qWait(20);
        return over.value();
    }
};

const char* kMixedTree = R"(
    d tree/sub 0750
    d tree/empty
    d tree/readonly 0555
    f tree/a.txt 1000 0644
    f tree/sub/b.bin 70000 0600
    f tree/sub/zero 0
    f tree/readonly/c 10 0444
    h tree/sub/b-hard -> tree/sub/b.bin
    l tree/inner -> sub/b.bin
    l tree/outer -> ../outside/secret
    l tree/dangling -> nowhere
    p tree/pipe
    x tree/a.txt user.colour=blue
    x tree/sub user.tag=kept
    t tree/a.txt 1000000000
    t tree/sub/b.bin 1200000000
    t tree/sub 1300000000
    t tree/inner 1100000000
    f outside/secret 5000
)";

} // namespace

class TestFileOperation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sizeText_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << quint64(0) << "0 bytes";
        QTest::newRow("just below the threshold") << quint64(1022) << "1022 bytes";
        QTest::newRow("threshold is 1023, not 1024") << quint64(1023) << "1.0 KB";
        QTest::newRow("1023 KB already in MB") << quint64(1047552) << "1.0 MB";
        QTest::newRow("decimal million") << quint64(1000000) << "976.6 KB";
        QTest::newRow("5 GiB") << (quint64(5) << 30) << "5.0 GB";
        QTest::newRow("3 TiB stays in GB") << (quint64(3) << 40) << "3072.0 GB";
    }
    void sizeText()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(FileOperation::stringFromFileSize(bytes), text);
    }

    void progressText_data()
    {
        QTest::addColumn<quint64>("done");
        QTest::addColumn<quint64>("total");
        QTest::addColumn<bool>("encrypting");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << quint64(0) << quint64(100) << true << "Encrypting 0%";
        QTest::newRow("restore rounds down") << quint64(2) << quint64(3) << false << "Restoring 66%";
        QTest::newRow("grown beyond the measure")
            << quint64(300) << quint64(200) << true << "Encrypting 100%";
        QTest::newRow("no overflow on large trees")
            << (quint64(60) << 40) << (quint64(80) << 40) << false << "Restoring 75%";
    }
    void progressText()
    {
        QFETCH(quint64, done);
        QFETCH(quint64, total);
        QFETCH(bool, encrypting);
        QFETCH(QString, text);
        QCOMPARE(FileOperation::progressText(done, total, encrypting), text);
    }

    void treeSize_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty folder") << "d t" << quint64(0) << QString();
        QTest::newRow("only folders and empty files")
            << "d t/a/b\nd t/c\nf t/a/z 0" << quint64(0) << QString();
        QTest::newRow("nested files")
            << "f t/a 1000\nf t/x/y/b 2000\nf t/x/c 48" << quint64(3048) << "3.0 KB";
        QTest::newRow("links add nothing")
            << "f big 900000\nf t/a 10\nl t/l -> ../big\nl t/d -> .." << quint64(10) << "10 bytes";
        QTest::newRow("hidden files count") << "f t/.hidden 1500" << quint64(1500) << "1.5 KB";
    }
    void treeSize()
    {
        QFETCH(QString, tree);
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), tree));
        const QString t = dir.path() + QStringLiteral("/t");
        QCOMPARE(FileOperation::fastFolderSizeAtFSRef(t), bytes);
        QCOMPARE(FileOperation::GetCapacity(t), bytes);
        QCOMPARE(FileOperation::fastFolderSizeAtFSPath(t), text);
        // A link to the folder measures the folder, as the protected places are links.
        QVERIFY(QFile::link(t, dir.path() + QStringLiteral("/viaLink")));
        QCOMPARE(FileOperation::GetCapacity(dir.path() + QStringLiteral("/viaLink")), bytes);
    }

    void sizesOfOtherItems()
    {
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), "f file 4242\nl dangling -> nowhere"));
        QCOMPARE(FileOperation::GetCapacity(dir.filePath("file")), quint64(4242));
        QCOMPARE(FileOperation::GetFileSize(dir.filePath("file")), quint64(4242));
        QCOMPARE(FileOperation::GetFileSize(dir.path()), quint64(0));
        QVERIFY(FileOperation::fastFolderSizeAtFSPath(dir.filePath("file")).isNull());
        QCOMPARE(FileOperation::GetCapacity(dir.filePath("dangling")), quint64(0));
        QCOMPARE(FileOperation::GetCapacity(dir.filePath("missing")), quint64(0));
        QVERIFY(FileOperation::fastFolderSizeAtFSPath(dir.filePath("missing")).isNull());
    }

    void unreadableFolderAddsNothing()
    {
        const QString root = TreeBuilder::makeSharedTempDir();
        QVERIFY(TreeBuilder::build(root, "f t/a 100\nf t/locked/b 5000"));
        QVERIFY(QFile::setPermissions(root + QStringLiteral("/t/locked"), QFileDevice::Permissions()));
        quint64 measured = 0;
        {
            UnprivilegedScope user;
            QVERIFY(user.ok());
            measured = FileOperation::fastFolderSizeAtFSRef(root + QStringLiteral("/t"));
        }
        QDir(root).removeRecursively();
        QCOMPARE(measured, quint64(100));
    }

    void linkAndExistenceTests_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<bool>("isLink");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << "" << true << false;
        QTest::newRow("folder") << "d item" << false << true;
        QTest::newRow("file") << "f item 3" << false << true;
        QTest::newRow("link to folder") << "d target\nl item -> target" << true << true;
        QTest::newRow("dangling link") << "l item -> gone" << true << true;
    }
    void linkAndExistenceTests()
    {
        QFETCH(QString, tree);
        QFETCH(bool, isLink);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), tree));
        QCOMPARE(FileOperation::IsFileASymlnkOrAlias(dir.filePath("item")), isLink);
        QCOMPARE(FileOperation::FileOrFolderIsExists(dir.filePath("item")), exists);
    }

    void deleteSymbolLink_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("gone");
        QTest::newRow("link to a folder: only the link goes")
            << "f target/data 10\nl item -> target" << true << true;
        QTest::newRow("dangling link") << "l item -> nowhere" << true << true;
        QTest::newRow("nothing there") << "" << true << true;
        QTest::newRow("empty folder") << "d item" << true << true;
        QTest::newRow("folder with data is kept") << "f item/data 10" << false << false;
    }
    void deleteSymbolLink()
    {
        QFETCH(QString, tree);
        QFETCH(bool, result);
        QFETCH(bool, gone);
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), tree));
        const QStringList before = TreeBuilder::fingerprint(dir.filePath("target"));
        QCOMPARE(FileOperation::DeleteSymbolLink(dir.filePath("item")), result);
        QCOMPARE(!FileOperation::FileOrFolderIsExists(dir.filePath("item")), gone);
        QCOMPARE(TreeBuilder::fingerprint(dir.filePath("target")), before);
    }

    void makeSymbolicLink_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<int>("result");
        QTest::newRow("free place") << "d vault/Mail" << 1;
        QTest::newRow("folder in the way") << "d vault/Mail\nd place" << 0;
        QTest::newRow("file in the way") << "d vault/Mail\nf place 1" << 0;
        QTest::newRow("resolvable link in the way") << "d vault/Mail\nd other\nl place -> other" << 0;
        QTest::newRow("dangling link in the way") << "d vault/Mail\nl place -> gone" << 0;
    }
    void makeSymbolicLink()
    {
        QFETCH(QString, tree);
        QFETCH(int, result);
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), tree));
        const QString place = dir.filePath("place");
        const QStringList before = TreeBuilder::fingerprint(dir.path());
        QCOMPARE(MakeSymbolicLink(place, dir.filePath("vault/Mail")), result);
        if (result == 1) {
            // Link first, target second.
            QCOMPARE(QFile::symLinkTarget(place), dir.filePath("vault/Mail"));
            QVERIFY(!QFileInfo::exists(dir.filePath("vault/Mail/place")));
        } else {
            QCOMPARE(TreeBuilder::fingerprint(dir.path()), before);
        }
        QCOMPARE(MakeSymbolicLink(nullptr, "x"), 0);
        QCOMPARE(MakeSymbolicLink(dir.filePath("missing/parent/link"), dir.path()), 0);
    }

    void copyKeepsTheTree_data()
    {
        QTest::addColumn<QString>("libPath");
        QTest::addColumn<QString>("finalPercent");
        QTest::addColumn<bool>("intoVault");
        QTest::newRow("protect") << "/lib/path"
                                 << "Encrypting 100%" << false;
        QTest::newRow("restore") << QString() << "Restoring 100%" << false;
        QTest::newRow("into a mounted vault") << "/lib/path"
                                              << "Encrypting 100%" << true;
    }
    void copyKeepsTheTree()
    {
        QFETCH(QString, libPath);
        QFETCH(QString, finalPercent);
        QFETCH(bool, intoVault);
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), QString::fromLatin1(kMixedTree)));
        // An old time on the pipe shows whether the copy keeps it (a fresh one would match anyway).
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(dir.filePath("tree/pipe")).constData(), old, 0), 0);
        std::unique_ptr<TestVault> vault;
        const QString dest = TestVault::folderFor(intoVault, dir.filePath("dest"), &vault);
        QVERIFY(!dest.isEmpty());
        const QStringList outsideBefore = TreeBuilder::fingerprint(dir.filePath("outside"));
        const QStringList sourceBefore = TreeBuilder::fingerprint(dir.filePath("tree"));

        CopyRun copy(dir.filePath("tree"), dest, libPath);
        QCOMPARE(copy.run(), QStringLiteral("over"));
        QCOMPARE(copy.size.value(), QStringLiteral("137.7 KB")); // every name of a regular file counts
        QCOMPARE(copy.percent.value(), finalPercent);
        QCOMPARE(copy.indicator.maximum, quint64(1000 + 70000 + 70000 + 10));
        QVERIFY(copy.indicator.highest <= copy.indicator.maximum);
        QVERIFY(copy.op->size() > 0);

        QCOMPARE(TreeBuilder::fingerprint(dest + QStringLiteral("/tree")), sourceBefore);
        QCOMPARE(TreeBuilder::fingerprint(dir.filePath("tree")), sourceBefore);
        QCOMPARE(TreeBuilder::fingerprint(dir.filePath("outside")), outsideBefore);
        // The link out of the tree stays a link: nothing outside was read into the copy.
        QCOMPARE(QFileInfo(dest + QStringLiteral("/tree/outer")).symLinkTarget().isEmpty(), false);
        QVERIFY(QFileInfo(dest + QStringLiteral("/tree/outer")).isSymLink());
    }

    void copyReplacesAnExistingItem_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<bool>("keptAside");
        QTest::newRow("older folder") << "d dest/tree/sub\nf dest/tree/stale 77\nf dest/tree/a.txt 5" << true;
        QTest::newRow("file of the same name") << "f dest/tree 12" << true;
        QTest::newRow("empty file of the same name") << "f dest/tree 0" << false;
        QTest::newRow("empty folder") << "d dest/tree" << false;
        QTest::newRow("link of the same name")
            << "d elsewhere\nf elsewhere/keep 9\nl dest/tree -> ../elsewhere" << false;
    }
    void copyReplacesAnExistingItem()
    {
        QFETCH(QString, existing);
        QFETCH(bool, keptAside);
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), "f tree/a.txt 100\nf tree/sub/b 200\n" + existing));
        const QStringList elsewhere = TreeBuilder::fingerprint(dir.filePath("elsewhere"));
        const QStringList replaced = TreeBuilder::fingerprint(dir.filePath("dest/tree"));
        CopyRun copy(dir.filePath("tree"), dir.filePath("dest"));
        QCOMPARE(copy.run(), QStringLiteral("over"));
        QCOMPARE(TreeBuilder::fingerprint(dir.filePath("dest/tree")),
                 TreeBuilder::fingerprint(dir.filePath("tree")));
        // Data that was replaced is kept beside the copy; a link or an empty item just goes.
        const QStringList expected =
            keptAside ? QStringList{QStringLiteral("tree"), QStringLiteral("tree_zorvanebak")}
                      : QStringList{QStringLiteral("tree")};
        QCOMPARE(QDir(dir.filePath("dest")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 expected);
        if (keptAside)
            QCOMPARE(TreeBuilder::fingerprint(dir.filePath("dest/tree_zorvanebak")), replaced);
        // A replaced link goes, not what it pointed to.
        QCOMPARE(TreeBuilder::fingerprint(dir.filePath("elsewhere")), elsewhere);
    }

    void failedCopyChangesNothing_data()
    {
        QTest::addColumn<QString>("unreadable");
        QTest::addColumn<bool>("existingCopy");
        QTest::newRow("unreadable file") << "tree/sub/b" << false;
        QTest::newRow("unreadable folder") << "tree/sub" << false;
        QTest::newRow("unreadable file, older copy in place") << "tree/sub/b" << true;
    }
    void failedCopyChangesNothing()
    {
        QFETCH(QString, unreadable);
        QFETCH(bool, existingCopy);
        const QString root = TreeBuilder::makeSharedTempDir();
        QVERIFY(TreeBuilder::build(root, "f tree/a 100 0644\nf tree/sub/b 200 0644\nd dest 0777"));
        if (existingCopy)
            QVERIFY(TreeBuilder::build(root, "f dest/tree/old 300 0644"));
        chmod(QFile::encodeName(root + QStringLiteral("/tree/sub")).constData(), 0755);
        chmod(QFile::encodeName(root + QLatin1Char('/') + unreadable).constData(), 0);
        const QStringList source = TreeBuilder::fingerprint(root + QStringLiteral("/tree"));
        const QStringList dest = TreeBuilder::fingerprint(root + QStringLiteral("/dest"));
        QString outcome;
        {
            UnprivilegedScope user;
            QVERIFY(user.ok());
            CopyRun copy(root + QStringLiteral("/tree"), root + QStringLiteral("/dest"));
            outcome = copy.run();
        }
        const QStringList sourceAfter = TreeBuilder::fingerprint(root + QStringLiteral("/tree"));
        const QStringList destAfter = TreeBuilder::fingerprint(root + QStringLiteral("/dest"));
        chmod(QFile::encodeName(root + QLatin1Char('/') + unreadable).constData(), 0755);
        QDir(root).removeRecursively();
        QCOMPARE(outcome, QStringLiteral("error"));
        QCOMPARE(sourceAfter, source);
        QCOMPARE(destAfter, dest);
    }

    // The copy leaves out calls that would change nothing (each is a round trip into a vault);
    // whatever the destination or the umask, the copy must still come out like the source.
    void copyComesOutLikeTheSource_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::newRow("strict umask") << "umask 077";
        QTest::newRow("no umask") << "umask 000";
        QTest::newRow("destination with a default ACL") << "acl";
        QTest::newRow("set-group-id destination of another group") << "setgid";
    }
    void copyComesOutLikeTheSource()
    {
        QFETCH(QString, setting);
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), "d tree/sub 0750\nf tree/a 10 0644\nf tree/sub/run 10 0755\n"
                                               "f tree/sub/own 10 0600\nf tree/shared 5 0664\nd dest 0777"));
        const QByteArray dest = QFile::encodeName(dir.filePath("dest"));
        const mode_t savedMask = umask(022);
        if (setting == QLatin1String("umask 077")) {
            umask(077);
        } else if (setting == QLatin1String("umask 000")) {
            umask(0);
        } else if (setting == QLatin1String("acl")) {
            // Owner only: new files would lose their group and other bits.
            struct Entry
            {
                quint16 tag, perm;
                quint32 id;
            };
            struct
            {
                quint32 version = 2;
                Entry entries[3] = {{0x01, 7, ~0u}, {0x04, 0, ~0u}, {0x20, 0, ~0u}};
            } acl;
            if (setxattr(dest.constData(), "system.posix_acl_default", &acl, sizeof acl, 0) != 0)
                QSKIP("this file system has no ACLs");
        } else {
            if (geteuid() != 0)
                QSKIP("only root can hand a folder to another group");
            QCOMPARE(chown(dest.constData(), uid_t(-1), 4242), 0);
            QCOMPARE(chmod(dest.constData(), 02777), 0);
        }
        CopyRun copy(dir.filePath("tree"), dir.filePath("dest"));
        const QString outcome = copy.run();
        umask(savedMask);
        QCOMPARE(outcome, QStringLiteral("over"));
        QCOMPARE(TreeBuilder::fingerprint(dir.filePath("dest/tree")),
                 TreeBuilder::fingerprint(dir.filePath("tree")));
        for (const char* entry : {"", "/a", "/sub", "/sub/run", "/shared"}) {
            struct stat original, copied;
            QCOMPARE(
                lstat(QFile::encodeName(dir.filePath("tree") + QLatin1String(entry)).constData(), &original),
                0);
            QCOMPARE(lstat(QFile::encodeName(dir.filePath("dest/tree") + QLatin1String(entry)).constData(),
                           &copied),
                     0);
            QCOMPARE(copied.st_uid, original.st_uid);
            QCOMPARE(copied.st_gid, original.st_gid);
            QCOMPARE(copied.st_mode, original.st_mode);
        }
    }

    // Many folders, hard links between them, files larger than one write: whole with any number
    // of copying threads, into a folder and into a vault.
    void copyIsWholeWithAnyThreadCount_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<bool>("intoVault");
        QTest::newRow("1 thread") << 1 << false;
        QTest::newRow("8 threads") << 8 << false;
        QTest::newRow("1 thread into a vault") << 1 << true;
        QTest::newRow("3 threads into a vault") << 3 << true;
    }
    void copyIsWholeWithAnyThreadCount()
    {
        QFETCH(int, threads);
        QFETCH(bool, intoVault);
        QTemporaryDir dir;
        QString tree = QStringLiteral("f tree/big 9437184\nf tree/f0/empty 0\n");
        quint64 total = 9437184;
        for (int folder = 0; folder < 12; ++folder) {
            for (int file = 0; file < 40; ++file) {
                const int size = (folder * 40 + file) * 397 % 70001;
                tree += QStringLiteral("f tree/f%1/m%2 %3\n").arg(folder).arg(file).arg(size);
                total += quint64(size);
            }
            tree +=
                QStringLiteral("h tree/f%1/link-to-f0 -> tree/f0/m7\nl tree/f%1/up -> ../f0\n").arg(folder);
            total += 7 * 397;
        }
        QVERIFY(TreeBuilder::build(dir.path(), tree));
        std::unique_ptr<TestVault> vault;
        const QString dest = TestVault::folderFor(intoVault, dir.filePath("dest"), &vault);
        QVERIFY(!dest.isEmpty());
        TreeCopier::Control control;
        control.threads = threads;
        const TreeCopier::Result result = TreeCopier::copyInto(dir.filePath("tree"), dest, control);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(control.bytesDone.load(), total);
        QCOMPARE(TreeBuilder::fingerprint(dest + QStringLiteral("/tree")),
                 TreeBuilder::fingerprint(dir.filePath("tree")));
        QVERIFY(TreeCopier::removeTree(dest + QStringLiteral("/tree")));
    }

    void copyThatCannotStartSaysError_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("dest");
        QTest::newRow("missing source") << "missing"
                                        << "dest";
        QTest::newRow("destination is a file") << "tree"
                                               << "file";
        QTest::newRow("destination missing") << "tree"
                                             << "nowhere";
        QTest::newRow("onto itself") << "tree"
                                     << ".";
        QTest::newRow("into itself") << "tree"
                                     << "tree/sub";
    }
    void copyThatCannotStartSaysError()
    {
        QFETCH(QString, source);
        QFETCH(QString, dest);
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), "f tree/sub/a 10\nd dest\nf file 1"));
        const QStringList before = TreeBuilder::fingerprint(dir.path());
        CopyRun copy(dir.filePath(source), dir.filePath(dest));
        QCOMPARE(copy.run(), QStringLiteral("error"));
        QCOMPARE(TreeBuilder::fingerprint(dir.path()), before);
    }

    void emptyFolderIsCopiedToo()
    {
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), "d tree/inner\nf tree/zero 0\nd dest"));
        CopyRun copy(dir.filePath("tree"), dir.filePath("dest"));
        QCOMPARE(copy.run(), QStringLiteral("over"));
        QCOMPARE(copy.size.value(), QStringLiteral("0 bytes"));
        QVERIFY(QFileInfo(dir.filePath("dest/tree/inner")).isDir());
        QVERIFY(QFileInfo::exists(dir.filePath("dest/tree/zero")));
    }

    void copyRunsOffTheCallersThread()
    {
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), "f big 33554432\nd dest"));
        CopyRun copy(dir.filePath("big"), dir.filePath("dest"));
        copy.op->startCopy();
        // The size is known at once; the outcome only arrives through the event loop.
        QCOMPARE(copy.size.value(), QStringLiteral("32.0 MB"));
        QVERIFY(copy.over.value().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(copy.over.value(), QStringLiteral("over"), 60000);
        QCOMPARE(copy.percent.value(), QStringLiteral("Restoring 100%"));
        QCOMPARE(copy.indicator.value, quint64(33554432));
    }

    void filesThatReportNoSizeAreCopiedWhole()
    {
        // /proc files say they are empty; only reading tells where they end.
        QTemporaryDir dir;
        CopyRun copy(QStringLiteral("/proc/version"), dir.path());
        QCOMPARE(copy.run(), QStringLiteral("over"));
        QFile original(QStringLiteral("/proc/version"));
        QFile copied(dir.filePath(QStringLiteral("version")));
        QVERIFY(original.open(QIODevice::ReadOnly) && copied.open(QIODevice::ReadOnly));
        const QByteArray content = copied.readAll();
        QVERIFY(!content.isEmpty());
        QCOMPARE(content, original.readAll());
    }

    void stopCopyLeavesStatusAlone()
    {
        QTemporaryDir dir;
        QVERIFY(TreeBuilder::build(dir.path(), "f big 33554432\nd dest"));
        CopyRun copy(dir.filePath("big"), dir.filePath("dest"));
        copy.op->startCopy();
        copy.op->stopCopy();
        QTest::qWait(600);
        QVERIFY(copy.over.value().isEmpty());
        copy.op->stopCopy(); // harmless twice
        QVERIFY(QFileInfo::exists(dir.filePath("big")));
    }

    void remoteVolumeUrl_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("url");
        QTest::newRow("local disk") << "/home/u/Zorvane/x.sparsebundle" << QString();
        QTest::newRow("vault") << "/home/u/.local/share/Zorvane/Volumes/V/Mail" << QString();
        QTest::newRow("cifs share") << "/mnt/smb/images/x.sparsebundle"
                                    << "smb://server/share";
        QTest::newRow("cifs share, sub-path") << "/mnt/sub/x"
                                              << "smb://nas/data/sub%20folder";
        QTest::newRow("gvfs smb") << "/run/user/1000/gvfs/smb-share:server=nas,share=media/v.dmg"
                                  << "smb://nas/media";
        QTest::newRow("gvfs smb with user")
            << "/run/user/1000/gvfs/smb-share:server=nas,share=my%20docs,user=bob/x"
            << "smb://bob@nas/my%20docs";
        QTest::newRow("gvfs afp") << "/run/user/1000/gvfs/afp-volume:host=mac,volume=Backup/x"
                                  << "afp://mac/Backup";
        QTest::newRow("gvfs sftp is not a share") << "/run/user/1000/gvfs/sftp:host=box/x" << QString();
    }
    void remoteVolumeUrl()
    {
        QFETCH(QString, path);
        QFETCH(QString, url);
        const QList<MountEntry> mounts =
            MountTable::parse("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                              "2 1 0:40 / /home/u/.local/share/Zorvane/Volumes/V rw - fuse.gocryptfs /c rw\n"
                              "3 1 0:41 / /mnt/smb rw - cifs //server/share rw\n"
                              "4 1 0:42 / /mnt/sub rw - cifs //nas/data/sub\\040folder rw\n"
                              "5 1 0:43 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n");
        QCOMPARE(FileOperation::remoteVolumeUrl(path, mounts), url);
    }

    void localPathIsNotRemote()
    {
        QVERIFY(FileOperation::IsFileRemote(QDir::homePath()).isNull());
        QVERIFY(FileOperation::IsFileRemote(QStringLiteral("/no/such/path")).isNull());
    }
};

QTEST_GUILESS_MAIN(TestFileOperation)
#include "TestFileOperation.moc"

#include "core/settings/Paths.h"
#include "platform/FreedesktopTrash.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TreeBuilder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestTrash : public QObject
{
    Q_OBJECT

private:
    FreedesktopTrash m_trash;

private Q_SLOTS:
    void initTestCase() { QVERIFY(TestPaths::homeIsPrivate()); }
    void init() { QDir(FreedesktopTrash::homeTrash()).removeRecursively(); }

    void trashAndRestore_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("encodedName");
        QTest::newRow("file") << "f Notes.txt 300"
                              << "Notes.txt"
                              << "Notes.txt";
        QTest::newRow("folder") << "f Mail/Inbox/1 500\nl Mail/cur -> Inbox\nd Mail/empty"
                                << "Mail"
                                << "Mail";
        QTest::newRow("link is trashed as the link") << "f vault/Mail/data 50\nl Mail -> vault/Mail"
                                                     << "Mail"
                                                     << "Mail";
        QTest::newRow("dangling link") << "l Mail -> locked/vault/Mail"
                                       << "Mail"
                                       << "Mail";
        QTest::newRow("name needing encoding") << ""
                                               << "100%\u00e9 x.txt"
                                               << "100%25%C3%A9%20x.txt";
    }
    void trashAndRestore()
    {
        QFETCH(QString, tree);
        QFETCH(QString, item);
        QFETCH(QString, encodedName);
        QTemporaryDir dir(QDir::homePath() + QStringLiteral("/work-XXXXXX"));
        QVERIFY(TreeBuilder::build(dir.path(), tree));
        if (tree.isEmpty()) // a name the tree notation can't hold
            QVERIFY(TreeBuilder::writeFile(dir.filePath(item), 10));
        const QString original = QFileInfo(dir.path()).canonicalFilePath() + QLatin1Char('/') + item;
        const QStringList before = TreeBuilder::fingerprint(dir.path());
        const QStringList itemBefore = TreeBuilder::fingerprint(original);

        const TrashResult r = m_trash.moveToTrash(dir.filePath(item));
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY(!QFileInfo(original).exists() && !QFileInfo(original).isSymLink());
        QCOMPARE(r.trashedPath, FreedesktopTrash::homeTrash() + QStringLiteral("/files/") + item);
        QCOMPARE(TreeBuilder::fingerprint(r.trashedPath), itemBefore);
        const QString info = readAll(r.infoPath);
        QVERIFY2(info.startsWith(QStringLiteral("[Trash Info]\nPath=")), qPrintable(info));
        const QString encodedParent =
            QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(original).path(), "/"));
        QVERIFY2(info.contains(QStringLiteral("\nPath=") + encodedParent + QLatin1Char('/') + encodedName +
                               QLatin1Char('\n')),
                 qPrintable(info));
        QVERIFY(
            QRegularExpression(QStringLiteral("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n"))
                .match(info)
                .hasMatch());

        const TrashResult back = m_trash.restore(r.trashedPath);
        QVERIFY2(back.ok, qPrintable(back.error));
        QCOMPARE(TreeBuilder::fingerprint(dir.path()), before);
        QVERIFY(!QFileInfo::exists(r.infoPath));
    }

    void sameNamesGetTheirOwnPlaces()
    {
        QTemporaryDir dir(QDir::homePath() + QStringLiteral("/work-XXXXXX"));
        QVERIFY(TreeBuilder::build(dir.path(),
                                   "f one/Mail/a 1\nf two/Mail/b 2\nf one/n.txt 3\nf two/n.txt 4\n"
                                   "f three/n.txt 5"));
        QStringList trashed;
        for (const char* p : {"one/Mail", "two/Mail", "one/n.txt", "two/n.txt", "three/n.txt"}) {
            const TrashResult r = m_trash.moveToTrash(dir.filePath(QLatin1String(p)));
            QVERIFY2(r.ok, qPrintable(r.error));
            trashed.append(QFileInfo(r.trashedPath).fileName());
        }
        QCOMPARE(trashed, (QStringList{"Mail", "Mail.2", "n.txt", "n.2.txt", "n.3.txt"}));
        for (const QString& name : trashed)
            QVERIFY(m_trash.restore(FreedesktopTrash::homeTrash() + QStringLiteral("/files/") + name).ok);
        QVERIFY(QFileInfo::exists(dir.filePath("one/Mail/a")));
        QVERIFY(QFileInfo::exists(dir.filePath("two/Mail/b")));
        QCOMPARE(QFileInfo(dir.filePath("three/n.txt")).size(), qint64(5));
    }

    void homeTrashIsCreatedWhereItBelongs()
    {
        QTemporaryDir dir(QDir::homePath() + QStringLiteral("/work-XXXXXX"));
        QVERIFY(TreeBuilder::build(dir.path(), "f item 10\nd cwd"));
        QVERIFY(!QFileInfo::exists(FreedesktopTrash::homeTrash()));
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.filePath("cwd"));
        const TrashResult r = m_trash.moveToTrash(dir.filePath("item"));
        QDir::setCurrent(oldCwd);
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY(QFileInfo(FreedesktopTrash::homeTrash() + QStringLiteral("/files/item")).isFile());
        QCOMPARE(QFile::permissions(FreedesktopTrash::homeTrash()) & 0x0077, QFileDevice::Permissions());
        QVERIFY(QDir(dir.filePath("cwd")).isEmpty());
    }

    void failuresNeverDelete_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("trash folder is blocked by a file") << "blocked";
        QTest::newRow("item is missing") << "missing";
        QTest::newRow("item is the trash itself") << "trash";
        QTest::newRow("restore onto an occupied place") << "occupied";
    }
    void failuresNeverDelete()
    {
        QFETCH(QString, what);
        QTemporaryDir dir(QDir::homePath() + QStringLiteral("/work-XXXXXX"));
        QVERIFY(TreeBuilder::build(dir.path(), "f Mail/inbox 100\nf Mail/sent 200"));
        const QStringList before = TreeBuilder::fingerprint(dir.path());
        TrashResult r;
        if (what == QLatin1String("blocked")) {
            QVERIFY(TreeBuilder::build(Paths::dataHome(), "f Trash 1"));
            r = m_trash.moveToTrash(dir.filePath("Mail"));
            QFile::remove(FreedesktopTrash::homeTrash());
        } else if (what == QLatin1String("missing")) {
            r = m_trash.moveToTrash(dir.filePath("nothing"));
        } else if (what == QLatin1String("trash")) {
            QVERIFY(m_trash.moveToTrash(dir.filePath("Mail/sent")).ok);
            QVERIFY(m_trash.restore(FreedesktopTrash::homeTrash() + QStringLiteral("/files/sent")).ok);
            r = m_trash.moveToTrash(FreedesktopTrash::homeTrash());
            QVERIFY(QFileInfo(FreedesktopTrash::homeTrash() + QStringLiteral("/files")).isDir());
        } else {
            const TrashResult first = m_trash.moveToTrash(dir.filePath("Mail/inbox"));
            QVERIFY(first.ok);
            QVERIFY(TreeBuilder::build(dir.path(), "f Mail/inbox 100"));
            r = m_trash.restore(first.trashedPath);
            QVERIFY(QFileInfo::exists(first.trashedPath));
        }
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(TreeBuilder::fingerprint(dir.path()), before);
    }

    void vaultItemsStayInTheVault_data()
    {
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("item");
        QTest::newRow("folder") << "f Mail/inbox 4000\nf Mail/sub/x 10"
                                << "Mail";
        QTest::newRow("link") << "f Mail/inbox 4000\nl current -> Mail"
                              << "current";
    }
    void vaultItemsStayInTheVault()
    {
        QFETCH(QString, tree);
        QFETCH(QString, item);
        QTemporaryDir dir(QDir::homePath() + QStringLiteral("/vault-XXXXXX"));
        TestVault vault(dir.path());
        QVERIFY(vault.isMounted());
        QVERIFY(TreeBuilder::build(vault.mountPoint(), tree));
        const QStringList before = TreeBuilder::fingerprint(vault.mountPoint() + QLatin1Char('/') + item);

        const TrashResult r = m_trash.moveToTrash(vault.mountPoint() + QLatin1Char('/') + item);
        QVERIFY2(r.ok, qPrintable(r.error));
        const QString volumeTrash =
            vault.mountPoint() + QStringLiteral("/.Trash-") + QString::number(geteuid());
        QCOMPARE(r.trashedPath, volumeTrash + QStringLiteral("/files/") + item);
        QCOMPARE(TreeBuilder::fingerprint(r.trashedPath), before);
        QVERIFY(!QFileInfo::exists(FreedesktopTrash::homeTrash() + QStringLiteral("/files/") + item));
        // Relative to the volume, so the entry still fits when the vault is mounted elsewhere.
        QVERIFY(readAll(r.infoPath).contains(QStringLiteral("\nPath=") + item + QLatin1Char('\n')));

        QVERIFY(m_trash.restore(r.trashedPath).ok);
        QCOMPARE(TreeBuilder::fingerprint(vault.mountPoint() + QLatin1Char('/') + item), before);
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "TestTrash.moc"

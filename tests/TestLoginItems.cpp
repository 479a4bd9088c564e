#include "core/system/AutostartEntry.h"
#include "core/system/LoginItemMarker.h"
#include "core/system/LoginItemRegistry.h"
#include "core/system/LoginItems.h"
#include "core/system/LoginItemsAE.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList autostartFiles()
{
    return QDir(LoginItemsAE::folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A bundle as the build makes them: X.app/Contents/bin/X.
QString makeBundle(const QString& parent, const QString& name)
{
    const QString bundle = parent + u'/' + name + QStringLiteral(".app");
    const QString executable = bundle + QStringLiteral("/Contents/bin/") + name;
    QDir().mkpath(QFileInfo(executable).path());
    QFile f(executable);
    if (f.open(QIODevice::WriteOnly))
        f.write("#!/bin/sh\n");
    return bundle;
}

} // namespace

class TestLoginItems : public QObject
{
    Q_OBJECT

    QTemporaryDir m_apps;
    QString m_helper;
    QString m_main;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh");
        m_main = makeBundle(m_apps.path() + QStringLiteral("/My Apps"), QStringLiteral("Zorvane"));
        m_helper =
            makeBundle(m_main + QStringLiteral("/Contents/Resources"), QStringLiteral("ZorvaneStatus"));
    }
    void init() { QDir(LoginItemsAE::folder()).removeRecursively(); }

    void addListRemoveByName()
    {
        LoginItems& items = LoginItems::sharedLoginItems();
        QVERIFY(!items.hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QVERIFY(items.addItemWithDisplayName(QStringLiteral("ZorvaneHelper"), QUrl::fromLocalFile(m_helper),
                                             false));
        QVERIFY(items.addItemWithDisplayName(QStringLiteral("Zorvane"), QUrl::fromLocalFile(m_main), false));
        QVERIFY(items.hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QVERIFY(items.hasItemWithDisplayName(QStringLiteral("Zorvane")));
        QVERIFY(!items.hasItemWithDisplayName(QStringLiteral("zorvane")));
        QCOMPARE(autostartFiles().size(), 2);

        // Adding again replaces the entry rather than starting the program twice.
        QVERIFY(items.addItemWithDisplayName(QStringLiteral("Zorvane"), QUrl::fromLocalFile(m_main), false));
        QCOMPARE(autostartFiles().size(), 2);

        QVERIFY(items.removeItemWithDisplayName(QStringLiteral("Zorvane")));
        QVERIFY(!items.hasItemWithDisplayName(QStringLiteral("Zorvane")));
        QVERIFY(items.hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        // Removing a name no item has succeeds and touches nothing.
        QVERIFY(items.removeItemWithDisplayName(QStringLiteral("Zorvane")));
        QVERIFY(items.removeItemWithDisplayName(QStringLiteral("Nobody")));
        QCOMPARE(autostartFiles().size(), 1);
    }

    void entryStartsTheProgramWithTheMarker()
    {
        QVERIFY(LoginItems::sharedLoginItems().addItemWithDisplayName(QStringLiteral("ZorvaneHelper"),
                                                                      QUrl::fromLocalFile(m_helper), false));
        const QStringList files = autostartFiles();
        QCOMPARE(files.size(), 1);
        const QByteArray content = readFile(LoginItemsAE::folder() + u'/' + files.first());
        QVERIFY(content.startsWith("[Desktop Entry]\n"));
        QVERIFY(content.contains("\nName=ZorvaneHelper\n"));
        QVERIFY(content.contains("\nType=Application\n"));
        QVERIFY(!content.contains("\nHidden="));
        const auto entry = AutostartEntry::parse(content);
        QVERIFY(entry);
        // The space in "My Apps" is quoted, and the program is the bundle's executable.
        QCOMPARE(entry->exec,
                 (QStringList{m_helper + QStringLiteral("/Contents/bin/ZorvaneStatus"), kLoginItemMarker}));
        QVERIFY(content.contains("Exec=\"" + m_helper.toUtf8() + "/Contents/bin/ZorvaneStatus\" \"" +
                                 kLoginItemMarker.toUtf8() + "\"\n"));
    }

    void hiddenFlagNeverDisablesTheEntry()
    {
        QVERIFY(LoginItems::sharedLoginItems().addItemWithDisplayName(QStringLiteral("Zorvane"),
                                                                      QUrl::fromLocalFile(m_main), true));
        const QByteArray content = readFile(LoginItemsAE::folder() + u'/' + autostartFiles().first());
        QVERIFY(!content.contains("\nHidden="));
        QVERIFY(content.contains("\nX-Zorvane-Hidden=true\n"));
        const auto all = LoginItemRegistry::allLoginItems();
        QVERIFY(all);
        QCOMPARE(all->size(), 1);
        QCOMPARE(all->first().toMap().value("Hidden").toBool(), true);
        QCOMPARE(all->first().toMap().value("URL").toUrl(), QUrl::fromLocalFile(m_main));
    }

    void execQuoting_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("plain") << QStringLiteral("/opt/Zorvane.app/Contents/bin/Zorvane");
        QTest::newRow("space") << QStringLiteral("/home/u/My Apps/z");
        QTest::newRow("shell characters") << QStringLiteral("/a/$HOME/`x`/\"q\"/it's;|&<>*?#()~");
        QTest::newRow("backslash") << QStringLiteral("/a\\b/c\\");
        QTest::newRow("percent") << QStringLiteral("/100%/%f");
        QTest::newRow("tab and newline") << QStringLiteral("/a\tb/c\nd");
        QTest::newRow("leading blank") << QStringLiteral(" /x");
        QTest::newRow("non-ASCII") << QStringLiteral("/home/ü/Zörvane ✓");
    }

    void execQuoting()
    {
        QFETCH(QString, program);
        const QStringList arguments{program, kLoginItemMarker};
        QCOMPARE(AutostartEntry::splitExec(AutostartEntry::execLine(arguments)), arguments);
        const QString name = QStringLiteral("Name ") + program;
        const auto entry = AutostartEntry::parse(AutostartEntry::compose(name, program, program, false));
        QVERIFY(entry);
        QCOMPARE(entry->exec, arguments);
        QCOMPARE(entry->name, name);
        QCOMPARE(entry->itemPath, program);
        QVERIFY(entry->ours);
    }

    void otherProgramsEntries_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("exec");
        QTest::newRow("plain")
            << QByteArray("[Desktop Entry]\nType=Application\nName=Other Daemon\nExec=/usr/bin/od -x\n")
            << QStringList{"/usr/bin/od", "-x"};
        QTest::newRow("field codes, comments, CRLF, actions")
            << QByteArray("# hi\r\n[Desktop Entry]\r\nName = Other "
                          "Daemon\r\nName[de]=Anderer\r\nType=Application\r\n"
                          "Exec=od %U \"a b\" 100%%\r\n\r\n[Desktop Action x]\r\nName=Other\r\nExec=y\r\n")
            << QStringList{"od", "a b", "100%"};
    }

    void otherProgramsEntries()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, exec);
        const QString path = LoginItemsAE::folder() + QStringLiteral("/other.desktop");
        writeFile(path, content);
        const auto entry = AutostartEntry::parse(content);
        QVERIFY(entry);
        QCOMPARE(entry->exec, exec);
        QVERIFY(!entry->ours);

        LoginItems& items = LoginItems::sharedLoginItems();
        QVERIFY(items.hasItemWithDisplayName(QStringLiteral("Other Daemon")));
        // Adding under the same name leaves the other program's entry as it was.
        QVERIFY(
            items.addItemWithDisplayName(QStringLiteral("Other Daemon"), QUrl::fromLocalFile(m_main), false));
        QCOMPARE(readFile(path), content);
        QCOMPARE(autostartFiles().size(), 2);
        // Removing by name takes the first in the list, as the session shows them.
        QVERIFY(items.removeItemWithDisplayName(QStringLiteral("Other Daemon")));
        QVERIFY(!QFile::exists(path));
        QVERIFY(items.hasItemWithDisplayName(QStringLiteral("Other Daemon")));
    }

    void malformedFilesAreLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("no group") << QByteArray("Type=Application\nName=ZorvaneHelper\nExec=z\n");
        QTest::newRow("other group first")
            << QByteArray("[Other]\nA=b\n[Desktop Entry]\nType=Application\nName=ZorvaneHelper\nExec=z\n");
        QTest::newRow("garbage line")
            << QByteArray("[Desktop Entry]\nType=Application\nName=ZorvaneHelper\nExec=z\n!!\n");
        QTest::newRow("no command") << QByteArray("[Desktop Entry]\nType=Application\nName=ZorvaneHelper\n");
        QTest::newRow("unterminated quote")
            << QByteArray("[Desktop Entry]\nType=Application\nName=ZorvaneHelper\nExec=\"z\n");
        QTest::newRow("duplicate key")
            << QByteArray("[Desktop Entry]\nType=Application\nName=ZorvaneHelper\nName=X\nExec=z\n");
        QTest::newRow("not UTF-8") << QByteArray(
            "[Desktop Entry]\nType=Application\nName=Zorvane\xff\nExec=z\n");
        QTest::newRow("a link, not an application")
            << QByteArray("[Desktop Entry]\nType=Link\nName=ZorvaneHelper\nURL=http://x\n");
        QTest::newRow("deleted by the session")
            << QByteArray("[Desktop Entry]\nType=Application\nName=ZorvaneHelper\nExec=z\nHidden=true\n");
        QTest::newRow("ours without its path")
            << QByteArray("[Desktop Entry]\nType=Application\nName=ZorvaneHelper\nExec=z\nX-Zorvane-Path=\n");
    }

    void malformedFilesAreLeftAlone()
    {
        QFETCH(QByteArray, content);
        // Where a new entry for the name would go, so a careless writer would overwrite it.
        const QString path = LoginItemsAE::folder() + QStringLiteral("/zorvane-ZorvaneHelper.desktop");
        writeFile(path, content);

        LoginItems& items = LoginItems::sharedLoginItems();
        QVERIFY(!items.hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QVERIFY(items.removeItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QCOMPARE(LoginItemRegistry::allLoginItems()->size(), 0);
        QVERIFY(!LoginItemRegistry::removeLoginItemAtIndex(0));

        QVERIFY(items.addItemWithDisplayName(QStringLiteral("ZorvaneHelper"), QUrl::fromLocalFile(m_helper),
                                             false));
        QVERIFY(items.hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QVERIFY(items.removeItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
        QCOMPARE(readFile(path), content);
        QCOMPARE(autostartFiles(), QStringList{QStringLiteral("zorvane-ZorvaneHelper.desktop")});
    }

    void registryByPath()
    {
        const QString missing = m_apps.path() + QStringLiteral("/Nowhere.app");
        QCOMPARE(LoginItemRegistry::allLoginItems(), QVariantList());
        QCOMPARE(LoginItemRegistry::indexForLoginItemWithPath(m_main), -1);
        QVERIFY(!LoginItemRegistry::removeLoginItemWithPath(m_main));
        QVERIFY(!LoginItemRegistry::addLoginItemWithPath(missing, false));

        QVERIFY(LoginItemRegistry::addLoginItemWithPath(m_helper, false));
        QVERIFY(LoginItemRegistry::addLoginItemWithPath(m_main, false));
        QVERIFY(LoginItemRegistry::addLoginItemWithPath(m_main + u'/', false)); // the same item again
        const auto all = LoginItemRegistry::allLoginItems();
        QVERIFY(all);
        QCOMPARE(all->size(), 2);
        // Named after the bundle, as the session's list shows it.
        QVERIFY(LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("ZorvaneStatus")));

        const qsizetype main = LoginItemRegistry::indexForLoginItemWithPath(m_main);
        QVERIFY(main >= 0);
        QCOMPARE(all->at(main).toMap().value("URL").toUrl(), QUrl::fromLocalFile(m_main));
        QCOMPARE(
            LoginItemRegistry::indexForLoginItemWithURL(QUrl::fromLocalFile(m_main + QStringLiteral("/."))),
            main);
        QCOMPARE(LoginItemRegistry::indexForLoginItemWithPath(missing), -1);
        QVERIFY(!LoginItemRegistry::removeLoginItemWithPath(missing));
        QCOMPARE(LoginItemRegistry::allLoginItems()->size(), 2);
        QVERIFY(!LoginItemRegistry::removeLoginItemAtIndex(2));

        QVERIFY(LoginItemRegistry::removeLoginItemWithPath(m_main));
        QCOMPARE(LoginItemRegistry::indexForLoginItemWithPath(m_main), -1);
        QCOMPARE(LoginItemRegistry::indexForLoginItemWithPath(m_helper), 0);
        QVERIFY(LoginItemRegistry::removeLoginItemAtIndex(0));
        QVERIFY(autostartFiles().isEmpty());
    }

    void bothViewsShareTheFolder()
    {
        QVERIFY(LoginItems::sharedLoginItems().addItemWithDisplayName(QStringLiteral("ZorvaneHelper"),
                                                                      QUrl::fromLocalFile(m_helper), false));
        QCOMPARE(LoginItemRegistry::indexForLoginItemWithPath(m_helper), 0);
        QVERIFY(LoginItemRegistry::removeLoginItemWithPath(m_helper));
        QVERIFY(!LoginItems::sharedLoginItems().hasItemWithDisplayName(QStringLiteral("ZorvaneHelper")));
    }

    void refusesWhatCannotBeAnItem()
    {
        LoginItems& items = LoginItems::sharedLoginItems();
        QVERIFY(!items.addItemWithDisplayName(QString(), QUrl::fromLocalFile(m_main), false));
        QVERIFY(!items.addItemWithDisplayName(QStringLiteral("Zorvane"), QUrl(QStringLiteral("https://x/")),
                                              false));
        QVERIFY(autostartFiles().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLoginItems)
#include "TestLoginItems.moc"

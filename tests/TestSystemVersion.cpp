#include "core/settings/PropertyList.h"
#include "core/system/GetSystemVersion.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSystemVersion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { GetSystemVersion::setSystemRoot({}); }

    void versionFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<QString>("version");
        QTest::newRow("no file") << QByteArray() << QStringLiteral("10.9");
        QTest::newRow("present") << PropertyList::toXml(
                                        QVariantMap{{"ProductVersion", "10.7"}, {"ProductName", "Mac OS X"}})
                                 << QStringLiteral("10.7");
        QTest::newRow("three parts kept")
            << PropertyList::toXml(QVariantMap{{"ProductVersion", "10.10.5"}}) << QStringLiteral("10.10.5");
        QTest::newRow("no ProductVersion")
            << PropertyList::toXml(QVariantMap{{"ProductName", "x"}}) << QStringLiteral("10.9");
        QTest::newRow("ProductVersion not text")
            << PropertyList::toXml(QVariantMap{{"ProductVersion", 10}}) << QStringLiteral("10.9");
        QTest::newRow("not a property list") << QByteArray("10.6\n") << QStringLiteral("10.9");
        QTest::newRow("empty file") << QByteArray("") << QStringLiteral("10.9");
    }

    void versionFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, version);
        QTemporaryDir root;
        GetSystemVersion::setSystemRoot(root.path());
        if (!content.isNull()) {
            QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("System/Library/CoreServices"))));
            QFile f(GetSystemVersion::versionFilePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        QVERIFY(GetSystemVersion::versionFilePath().startsWith(root.path() + u'/'));
        QCOMPARE(GetSystemVersion::GetMacStringVersion(), version);
    }

    void linuxHasNoVersionFile()
    {
        QCOMPARE(GetSystemVersion::systemRoot(), QStringLiteral("/"));
        QCOMPARE(GetSystemVersion::GetMacStringVersion(), QStringLiteral("10.9"));
        QVERIFY(!GetSystemVersion::isOlderThan(QStringLiteral("10.5")));
        QVERIFY(GetSystemVersion::isOlderThan(QStringLiteral("10.10")));
    }

    void compare_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("10.10 after 10.9") << "10.10"
                                          << "10.9" << 1;
        QTest::newRow("equal") << "10.9"
                               << "10.9" << 0;
        QTest::newRow("missing part is 0") << "10.9.0"
                                           << "10.9" << 0;
        QTest::newRow("third part counts") << "10.9.5"
                                           << "10.9" << 1;
        QTest::newRow("10.4.11 before 10.5") << "10.4.11"
                                             << "10.5" << -1;
        QTest::newRow("major wins") << "11.0"
                                    << "10.15" << 1;
        QTest::newRow("10.5 before 10.10") << "10.5"
                                           << "10.10" << -1;
        QTest::newRow("suffix after number") << "10.6b"
                                             << "10.6" << 1;
    }

    void compare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(GetSystemVersion::compareVersions(a, b), order);
        QCOMPARE(GetSystemVersion::compareVersions(b, a), -order);
    }
};

QTEST_GUILESS_MAIN(TestSystemVersion)
#include "TestSystemVersion.moc"

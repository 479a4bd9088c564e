#include "app/shell/Updater.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "tests/support/FeedServer.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray kFeed = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                         "<rss version=\"2.0\" xmlns:zv=\"https://www.tarnwick.com/xml/appcast\">\n"
                         "<channel><title>Zorvane</title>\n"
                         "<item><title>Zorvane 1.9</title><enclosure url=\"https://example.invalid/1.9\" "
                         "zv:version=\"1.9\"/></item>\n"
                         "<item><title>Zorvane 1.10</title><enclosure url=\"https://example.invalid/1.10\" "
                         "zv:version=\"1.10\"/></item>\n"
                         "<item><title>Zorvane 1.2</title><enclosure url=\"https://example.invalid/1.2\" "
                         "zv:version=\"1.2\"/></item>\n"
                         "</channel></rss>";

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QDir(QDir::homePath() + QStringLiteral("/.config/Zorvane")).removeRecursively(); }

    void newestRelease_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("expected");
        QTest::newRow("older") << "1.0"
                               << "1.10";
        QTest::newRow("numeric not text") << "1.9"
                                          << "1.10";
        QTest::newRow("current") << "1.10"
                                 << "";
        QTest::newRow("newer") << "2.0"
                               << "";
    }

    void newestRelease()
    {
        QFETCH(QString, current);
        QFETCH(QString, expected);
        const auto release = Updater::newestRelease(kFeed, current);
        QCOMPARE(release ? release->version : QString(), expected);
        if (release)
            QCOMPARE(release->downloadUrl.toString(), QStringLiteral("https://example.invalid/1.10"));
    }

    void checkReadsTheFeedAndRecordsTheTime()
    {
        QVERIFY(TestPaths::homeIsPrivate());
        FeedServer server(kFeed);
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        settings.setObject(server.url(), Updater::kFeedUrlKey);
        Updater updater(settings, QStringLiteral("1.0"));
        QSignalSpy found(&updater, &Updater::updateFound);
        updater.checkForUpdates();
        QVERIFY(found.wait(10000));
        QCOMPARE(found.at(0).at(0).value<Updater::Release>().version, QStringLiteral("1.10"));
        QVERIFY(settings.objectForKey(SettingsKeys::SULastCheckTime).toDateTime().isValid());
    }

    void failedCheckLeavesTheTimeAlone()
    {
        FeedServer server("nope", 404);
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        settings.setObject(server.url(), Updater::kFeedUrlKey);
        Updater updater(settings, QStringLiteral("1.0"));
        QSignalSpy failed(&updater, &Updater::checkFailed);
        updater.checkForUpdates();
        QVERIFY(failed.wait(10000));
        QVERIFY(!settings.objectForKey(SettingsKeys::SULastCheckTime).isValid());
    }

    void automaticCheckFollowsTheSwitch()
    {
        FeedServer server(kFeed);
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        settings.setObject(server.url(), Updater::kFeedUrlKey);
        Updater updater(settings, QStringLiteral("9.0"));
        QSignalSpy none(&updater, &Updater::noUpdateFound);
        updater.setAutomaticallyChecksForUpdates(false);
        updater.checkIfDue();
        QVERIFY(!none.wait(300));
        updater.setAutomaticallyChecksForUpdates(true);
        updater.checkIfDue();
        QVERIFY(none.wait(10000));
        // Just checked: not due again.
        updater.checkIfDue();
        QVERIFY(!none.wait(300));
    }
};

QTEST_GUILESS_MAIN(TestUpdater)
#include "TestUpdater.moc"

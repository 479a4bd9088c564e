// Notices through the desktop's notification service on the private bus: what reaches it, and
// that a silent or missing service never holds the caller up.
#include "platform/FreedesktopNotices.h"
#include "tests/support/RecordingNotificationServer.h"

#include <QElapsedTimer>
#include <QTest>

class TestNoticeBridge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noticesReachTheService_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("sticky");
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("expire");
        QTest::addColumn<int>("urgency");

        QTest::newRow("plain") << "Zorvane"
                               << "Locked Mail" << false << "Locked Mail" << -1 << 1;
        QTest::newRow("sticky, line breaks")
            << "Can't Lock vault: Mail"
            << "\r\nthunderbird is still using the vault: \"Mail\".\r\n\r\nPlease quit thunderbird and then "
               "try to "
               "manually lock the vault again."
            << true
            << "\nthunderbird is still using the vault: \"Mail\".\n\nPlease quit thunderbird and then try to "
               "manually lock the vault again."
            << 0 << 2;
        QTest::newRow("markup characters stay text")
            << "Zorvane"
            << "Unlocked <Notes & Co>" << false << "Unlocked &lt;Notes &amp; Co&gt;" << -1 << 1;
    }

    void noticesReachTheService()
    {
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(bool, sticky);
        QFETCH(QString, body);
        QFETCH(int, expire);
        QFETCH(int, urgency);
        RecordingNotificationServer server;
        QVERIFY(server.start());
        FreedesktopNotices notices;
        notices.notify(title, text, sticky);
        QTRY_COMPARE(server.notices.size(), 1);
        const RecordingNotificationServer::Notice& notice = server.notices.first();
        QCOMPARE(notice.application, QStringLiteral("Zorvane"));
        QCOMPARE(notice.summary, title);
        QCOMPARE(notice.body, body);
        QCOMPARE(notice.expireTimeout, expire);
        QCOMPARE(notice.hints.value(QStringLiteral("urgency")).toInt(), urgency);
        QTRY_COMPARE(notices.pendingCalls(), 0);
        server.stop();
    }

    void aSilentServiceHoldsNothingUp()
    {
        RecordingNotificationServer server;
        server.silent = true;
        QVERIFY(server.start());
        FreedesktopNotices notices;
        QElapsedTimer sent;
        sent.start();
        for (int i = 0; i < 5; ++i)
            notices.notify(QStringLiteral("Zorvane"), QStringLiteral("Locked Mail"), false);
        QVERIFY(sent.elapsed() < 200);
        QTRY_COMPARE(server.notices.size(), 5);
        QCOMPARE(notices.pendingCalls(), 5);
        server.stop();
    }

    void noServiceIsNoFailure()
    {
        FreedesktopNotices notices;
        QElapsedTimer sent;
        sent.start();
        notices.notify(QStringLiteral("Zorvane"), QStringLiteral("Unlocked Thunderbird"), false);
        QVERIFY(sent.elapsed() < 200);
        QTRY_COMPARE(notices.pendingCalls(), 0);
    }
};

QTEST_GUILESS_MAIN(TestNoticeBridge)
#include "TestNoticeBridge.moc"

#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondCopyAsksTheFirstToReopen()
    {
        const QString name = QStringLiteral("com.tarnwick.ZorvaneTest");
        SingleInstance first(name);
        QVERIFY(first.claim());
        QVERIFY(first.isPrimary());
        QSignalSpy reopen(&first, &SingleInstance::reopenRequested);

        // The second copy lives on its own connection (another program), and its blocking call
        // needs the first copy's connection served meanwhile: run it on a thread.
        bool secondClaimed = true;
        bool secondPrimary = true;
        std::unique_ptr<QThread> other(QThread::create([&] {
            QDBusConnection bus =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"));
            {
                SingleInstance second(name, nullptr, bus);
                secondClaimed = second.claim();
                secondPrimary = second.isPrimary();
            }
            QDBusConnection::disconnectFromBus(QStringLiteral("second"));
        }));
        other->start();
        QTRY_VERIFY_WITH_TIMEOUT(other->isFinished(), 10000);
        QVERIFY(!secondClaimed);
        QVERIFY(!secondPrimary);
        QTRY_COMPARE_WITH_TIMEOUT(reopen.size(), 1, 5000);
    }

    void withoutABusTheProgramStillRuns()
    {
        SingleInstance lone(QStringLiteral("com.tarnwick.ZorvaneTest2"), nullptr,
                            QDBusConnection(QStringLiteral("not connected")));
        QVERIFY(!lone.claim());
        QVERIFY(lone.isPrimary());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"

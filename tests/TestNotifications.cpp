#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "platform/DBusNotificationCenter.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

class TestNotifications : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void localObserversSeeOnlyTheirName()
    {
        NotificationCenter center;
        QObject observer;
        QStringList seen;
        center.addObserver(NotificationNames::AddHardDisk, &observer,
                           [&](QObject* sender, const QVariantMap& info) {
                               QCOMPARE(sender, &center);
                               seen << info.value(NotificationNames::DiskName).toString();
                           });
        center.post(NotificationNames::CloseTip, &center);
        center.post(NotificationNames::AddHardDisk, &center, {{NotificationNames::DiskName, "Data"}});
        QCOMPARE(seen, QStringList{"Data"});
        {
            QObject gone;
            center.addObserver(NotificationNames::Reopen, &gone,
                               [&](QObject*, const QVariantMap&) { seen << "x"; });
        }
        center.post(NotificationNames::Reopen);
        QCOMPARE(seen.size(), 1);
    }

    void crossConnectionSignalCarriesNameAndPayload()
    {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        // A second, separate connection stands in for the other program.
        QDBusConnection other =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        QVERIFY(other.isConnected());
        DBusNotificationCenter poster;
        DBusNotificationCenter receiver(nullptr, other);
        QVERIFY(receiver.isConnected());
        QSignalSpy spy(&receiver, &DistributedNotificationCenter::notificationReceived);
        // The receiver's match rule reaches the bus asynchronously: post until it is heard.
        for (int i = 0; i < 40 && spy.isEmpty(); ++i) {
            QVERIFY(poster.post(NotificationNames::HelperPhotoStreamMessage,
                                {{NotificationNames::AppName, "Shotwell"}}));
            spy.wait(250);
        }
        QVERIFY(!spy.isEmpty());
        QCOMPARE(spy.at(0).at(0).toString(), NotificationNames::HelperPhotoStreamMessage);
        QCOMPARE(spy.at(0).at(1).toMap().value(NotificationNames::AppName).toString(),
                 QStringLiteral("Shotwell"));
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    }
};

QTEST_GUILESS_MAIN(TestNotifications)
#include "TestNotifications.moc"

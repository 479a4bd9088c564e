#include "tests/support/RecordingNotificationServer.h"

#include <QUuid>

bool RecordingNotificationServer::start()
{
    m_connectionName = QStringLiteral("notification-server-") + QUuid::createUuid().toString(QUuid::Id128);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
    return bus.isConnected() &&
           bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

void RecordingNotificationServer::stop()
{
    if (m_connectionName.isEmpty())
        return;
    QDBusConnection bus(m_connectionName);
    bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_connectionName.clear();
}

uint RecordingNotificationServer::Notify(const QString& application, uint, const QString& icon,
                                         const QString& summary, const QString& body, const QStringList&,
                                         const QVariantMap& hints, int expireTimeout)
{
    notices.append({application, icon, summary, body, hints, expireTimeout});
    if (silent)
        setDelayedReply(true); // and never answer
    return uint(notices.size());
}

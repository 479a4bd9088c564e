#include "platform/DBusNotificationCenter.h"

#include "core/system/Logging.h"

#include <QDBusMessage>

DBusNotificationCenter::DBusNotificationCenter(QObject* parent, QDBusConnection bus)
    : DistributedNotificationCenter(parent), m_bus(std::move(bus))
{
    m_listening = m_bus.isConnected() && m_bus.connect(QString(), kPath, kInterface, kMember, this,
                                                       SLOT(onSignal(QString, QVariantMap)));
    if (!m_listening)
        qCWarning(lcPlatform) << "not listening for notifications from the other programs:"
                              << m_bus.lastError().message();
}

bool DBusNotificationCenter::post(const QString& name, const QVariantMap& userInfo)
{
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, kMember);
    signal << name << userInfo;
    const bool sent = m_bus.send(signal);
    if (!sent)
        qCWarning(lcPlatform) << "could not post" << name << m_bus.lastError().message();
    return sent;
}

void DBusNotificationCenter::onSignal(const QString& name, const QVariantMap& userInfo)
{
    Q_EMIT notificationReceived(name, userInfo);
}

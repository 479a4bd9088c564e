#pragma once

#include "core/system/DistributedNotificationCenter.h"

#include <QDBusConnection>

// Notifications as one signal on the session bus: path /com/tarnwick/Zorvane, interface
// com.tarnwick.Zorvane, member Notification(s name, a{sv} userInfo).
class DBusNotificationCenter : public DistributedNotificationCenter
{
    Q_OBJECT
public:
    static inline const QString kPath = QStringLiteral("/com/tarnwick/Zorvane");
    static inline const QString kInterface = QStringLiteral("com.tarnwick.Zorvane");
    static inline const QString kMember = QStringLiteral("Notification");

    explicit DBusNotificationCenter(QObject* parent = nullptr,
                                    QDBusConnection bus = QDBusConnection::sessionBus());
    bool post(const QString& name, const QVariantMap& userInfo = {}) override;
    bool isConnected() const { return m_listening; }

private Q_SLOTS:
    void onSignal(const QString& name, const QVariantMap& userInfo);

private:
    QDBusConnection m_bus;
    bool m_listening = false;
};

#pragma once

#include <QObject>
#include <QVariantMap>

// Notifications between the three programs. Everything posted reaches every observer in the
// user's session, the poster's own process included.
class DistributedNotificationCenter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool post(const QString& name, const QVariantMap& userInfo = {}) = 0;

Q_SIGNALS:
    void notificationReceived(const QString& name, const QVariantMap& userInfo);
};

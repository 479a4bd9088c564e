#pragma once

#include <QObject>
#include <QVariantMap>
#include <functional>

// Notifications inside one program: a poster names the notification and passes itself as the
// sender; observers subscribe by name. Delivery is synchronous, on the poster's thread.
class NotificationCenter : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(QObject* sender, const QVariantMap& userInfo)>;

    explicit NotificationCenter(QObject* parent = nullptr);

    // The handler runs until context is destroyed.
    QMetaObject::Connection addObserver(const QString& name, QObject* context, Handler handler);
    void post(const QString& name, QObject* sender = nullptr, const QVariantMap& userInfo = {});

Q_SIGNALS:
    void notificationPosted(const QString& name, QObject* sender, const QVariantMap& userInfo);
};

#include "core/system/NotificationCenter.h"

NotificationCenter::NotificationCenter(QObject* parent) : QObject(parent) {}

QMetaObject::Connection NotificationCenter::addObserver(const QString& name, QObject* context,
                                                        Handler handler)
{
    return connect(this, &NotificationCenter::notificationPosted, context,
                   [name, handler = std::move(handler)](const QString& posted, QObject* sender,
                                                        const QVariantMap& info) {
                       if (posted == name)
                           handler(sender, info);
                   });
}

void NotificationCenter::post(const QString& name, QObject* sender, const QVariantMap& userInfo)
{
    Q_EMIT notificationPosted(name, sender, userInfo);
}

#include "platform/BusNameOwner.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

void BusNameOwner::ask(QDBusConnection bus, const QString& name, QObject* context,
                       std::function<void(bool owned)> answer)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    call << name;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [answer = std::move(answer)](QDBusPendingCallWatcher* w) {
                         const QDBusPendingReply<bool> reply = *w;
                         w->deleteLater();
                         answer(!reply.isError() && reply.value());
                     });
}

#pragma once

#include <QDBusConnection>
#include <QString>
#include <functional>

class QObject;

// Whether a name on a bus has an owner (a program that keeps one runs), asked without waiting.
class BusNameOwner
{
public:
    // answer runs later from the event loop (false when the bus cannot tell), unless context is
    // gone by then.
    static void ask(QDBusConnection bus, const QString& name, QObject* context,
                    std::function<void(bool owned)> answer);
};

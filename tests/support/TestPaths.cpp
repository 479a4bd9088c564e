#include "tests/support/TestPaths.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

bool TestPaths::homeIsPrivate()
{
    return qEnvironmentVariableIsSet("ZV_IN_SESSION") &&
           QDir::homePath().contains(QStringLiteral("zv-test."));
}

bool TestPaths::waitForStatusHelper(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    while (!deadline.hasExpired()) {
        if (bus && bus->isServiceRegistered(QStringLiteral("com.tarnwick.ZorvaneStatus")))
            return true;
        QThread::msleep(50);
    }
    return false;
}

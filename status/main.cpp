#include "platform/DBusNotificationCenter.h"
#include "status/StatusApp.h"

#include <QApplication>
#include <QDBusConnection>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZorvaneStatus"));
    // A helper without windows keeps running when its last dialog closes.
    QApplication::setQuitOnLastWindowClosed(false);
    DBusNotificationCenter notifications;
    StatusApp status(&notifications);
    // Owning this name tells Zorvane and tests that the helper is up and listening.
    QDBusConnection::sessionBus().registerService(StatusApp::kBusName);
    return app.exec();
}

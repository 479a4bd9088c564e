#include "platform/DBusNotificationCenter.h"
#include "status/StatusApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZorvaneStatus"));
    // A helper without windows keeps running when its last dialog closes.
    QApplication::setQuitOnLastWindowClosed(false);
    DBusNotificationCenter notifications;
    StatusApp status(&notifications);
    return app.exec();
}

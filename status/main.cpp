#include "core/settings/SettingsStore.h"
#include "platform/DBusNotificationCenter.h"
#include "platform/FreedesktopNotices.h"
#include "platform/GioServerVolumeMounter.h"
#include "platform/LinuxProcessWatcher.h"
#include "platform/SecretServiceKeychain.h"
#include "status/StatusApp.h"
#include "status/StatusAttachDiskImageController.h"
#include "ui/QtAlertPort.h"
#include "ui/QtPasswordPanel.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZorvaneStatus"));
    QApplication::setDesktopFileName(QStringLiteral("zorvane"));
    // A helper without windows keeps running when its last dialog closes.
    QApplication::setQuitOnLastWindowClosed(false);

    SettingsStore settings(SettingsStore::kStatusDomain);
    settings.addSuiteNamed(SettingsStore::kZorvaneDomain);
    SecretServiceKeychain keychain;
    GioServerVolumeMounter shares;
    QtPasswordPanel passwordPanel;
    QtAlertPort alerts;
    LinuxProcessWatcher::Options watching;
    // Tests confine the helper to their own stand-ins, so it never holds anybody else's program.
    watching.pathPrefix = qEnvironmentVariable("ZV_STATUS_WATCH_PREFIX");
    LinuxProcessWatcher watcher(watching);
    FreedesktopNotices notices;

    StatusServices status;
    status.watcher = &watcher;
    status.notices = &notices;
    StatusAttachDiskImageController controller({&settings, &keychain, &shares, &passwordPanel, &alerts},
                                               status);
    DBusNotificationCenter notifications;
    StatusApp statusApp(&notifications, &controller);
    // Owning this name tells Zorvane and tests that the helper is up and listening.
    QDBusConnection::sessionBus().registerService(StatusApp::kBusName);
    QTimer::singleShot(0, &controller, &StatusAttachDiskImageController::finishlauch);
    return app.exec();
}

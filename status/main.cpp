#include "core/settings/SettingsStore.h"
#include "platform/DBusNotificationCenter.h"
#include "platform/DetachedApplicationLauncher.h"
#include "platform/FreedesktopNotices.h"
#include "platform/GioServerVolumeMounter.h"
#include "platform/LinuxProcessWatcher.h"
#include "platform/MountWatcher.h"
#include "platform/SecretServiceKeychain.h"
#include "platform/SessionLockWatcher.h"
#include "status/SessionAutoLock.h"
#include "status/StatusApp.h"
#include "status/StatusAttachDiskImageController.h"
#include "status/StatusMenu.h"
#include "status/StatusMenuActions.h"
#include "status/VaultWatch.h"
#include "ui/AppIcon.h"
#include "ui/DesktopUrlOpener.h"
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
    QApplication::setWindowIcon(AppIcon::application());
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
    MountWatcher mounts;
    DesktopUrlOpener files;
    DetachedApplicationLauncher launcher;

    StatusServices status;
    status.watcher = &watcher;
    status.notices = &notices;
    StatusAttachDiskImageController controller({&settings, &keychain, &shares, &passwordPanel, &alerts},
                                               status);
    StatusMenuActions actions(&controller, {&notices, &files, &launcher, &alerts});
    StatusMenu menu(&controller, &actions, &notices, &mounts);
    VaultWatch vaultWatch(&controller, &notices);
    QObject::connect(&mounts, &MountWatcher::didMount, &vaultWatch, &VaultWatch::didMount);
    QObject::connect(&mounts, &MountWatcher::didUnmount, &vaultWatch, &VaultWatch::didUnmount);
    SessionLockWatcher sessionLock;
    SessionAutoLock sessionAutoLock(&controller, &notices);
    QObject::connect(&sessionLock, &SessionLockWatcher::sessionLocked, &sessionAutoLock,
                     [&sessionAutoLock] { sessionAutoLock.lockAll(); });
    QObject::connect(&sessionLock, &SessionLockWatcher::aboutToSleep, &sessionAutoLock,
                     [&sessionAutoLock, &sessionLock] {
                         sessionAutoLock.lockAll([&sessionLock] { sessionLock.releaseSleepDelay(); });
                     });

    DBusNotificationCenter notifications;
    StatusApp statusApp(&notifications, &controller, &notices);
    QTimer::singleShot(0, &controller, [&] {
        controller.finishlauch();
        menu.finishlauch();
        vaultWatch.start();
        sessionLock.start();
        // Owning this name tells Zorvane and tests that the helper is up and listening: the bus
        // handles the name after the signal subscriptions made before it.
        QDBusConnection::sessionBus().registerService(StatusApp::kBusName);
    });
    return app.exec();
}

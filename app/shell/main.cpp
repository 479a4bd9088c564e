#include "app/prefs/Preferences.h"
#include "app/shell/AppControler.h"
#include "app/shell/MainWindow.h"
#include "app/shell/QtSelfUnlockPanel.h"
#include "app/shell/Updater.h"
#include "app/vaults/AddDiskSheet.h"
#include "app/vaults/QtVaultPagePort.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/SettingsStore.h"
#include "core/system/NotificationCenter.h"
#include "platform/DBusNotificationCenter.h"
#include "platform/DetachedApplicationLauncher.h"
#include "platform/FreedesktopTrash.h"
#include "platform/GioServerVolumeMounter.h"
#include "platform/MountWatcher.h"
#include "platform/SecretServiceKeychain.h"
#include "platform/SingleInstance.h"
#include "ui/AppIcon.h"
#include "ui/DesktopUrlOpener.h"
#include "ui/QtAlertPort.h"
#include "ui/QtPasswordPanel.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setApplicationVersion(QStringLiteral(ZV_VERSION));
    QApplication::setOrganizationDomain(QStringLiteral("tarnwick.com"));
    QApplication::setDesktopFileName(QStringLiteral("zorvane"));
    QApplication::setWindowIcon(AppIcon::application());
    // Closing the last dialog must not end Zorvane; only the controller decides that.
    QApplication::setQuitOnLastWindowClosed(false);

    // One Zorvane per session: a second start only brings the running one forward.
    SingleInstance instance(QStringLiteral("com.tarnwick.Zorvane"));
    instance.claim();
    if (!instance.isPrimary())
        return 0;

    SettingsStore settings(SettingsStore::kZorvaneDomain);
    QtAlertPort alerts;
    QtSelfUnlockPanel selfUnlock;
    DesktopUrlOpener urls;
    DBusNotificationCenter distributed;
    NotificationCenter local;
    DetachedApplicationLauncher launcher;
    FreedesktopTrash trash;
    SecretServiceKeychain keychain;
    GioServerVolumeMounter shares;
    QtPasswordPanel passwordPanel;
    Updater updater(settings, QApplication::applicationVersion());
    QtVaultPagePort vaultPage;
    AddDiskSheet addDiskSheet;
    MountWatcher mounts;
    Preferences preferences(settings, alerts, &updater, QApplication::applicationVersion());

    AppControlerServices services;
    services.settings = &settings;
    services.alerts = &alerts;
    services.selfUnlock = &selfUnlock;
    services.urls = &urls;
    services.distributed = &distributed;
    services.local = &local;
    services.launcher = &launcher;
    services.trash = &trash;
    services.updater = &updater;
    services.unlock = {&settings, &keychain, &shares, &passwordPanel, &alerts};
    services.vaultPage = &vaultPage;
    services.mounts = &mounts;
    services.createSheet = &addDiskSheet;
    services.openPreferences = [&preferences] {
        preferences.openPreferences();
    };
    services.openSelfProtection = [&preferences] {
        preferences.openSelfProtection();
    };
    AppControler controller(services);
    controller.endEventLoopOnTerminate();

    controller.awakeFromNib();
    if (!controller.applicationWillFinishLaunching())
        return 0;
    // Only after the start: a request during the self-protection prompt must not show the window.
    QObject::connect(&instance, &SingleInstance::reopenRequested, &controller, [&controller] {
        controller.applicationShouldHandleReopen(controller.myMainWindow()->isVisible());
    });
    QTimer::singleShot(0, &controller, [&] {
        controller.finishlauch(ProcessInfo::wasLaunchedAsLoginItem());
        updater.checkIfDue();
    });
    return app.exec();
}

#include "core/settings/SettingsStore.h"
#include "platform/DBusNotificationCenter.h"
#include "platform/FreedesktopTrash.h"
#include "platform/GioServerVolumeMounter.h"
#include "platform/SecretServiceKeychain.h"
#include "uninstaller/AppDelegate.h"
#include "uninstaller/RestoreWorkRestorer.h"
#include "uninstaller/TerminalPort.h"
#include "uninstaller/UninstallWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <memory>

int main(int argc, char* argv[])
{
    // The uninstaller must do its work without a display: widgets only when one is there.
    const bool hasDisplay = qEnvironmentVariableIsSet("DISPLAY") ||
                            qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                            qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    std::unique_ptr<QCoreApplication> app(hasDisplay ? new QApplication(argc, argv)
                                                     : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("ZorvaneUninstaller"));

    SettingsStore settings(SettingsStore::kUninstallerDomain);
    FreedesktopTrash trash;
    SecretServiceKeychain keychain;
    GioServerVolumeMounter shares;
    DBusNotificationCenter notifications;
    std::unique_ptr<UninstallWindow> window;
    std::unique_ptr<TerminalPort> terminal;
    UninstallPort* port = nullptr;
    if (hasDisplay) {
        QApplication::setQuitOnLastWindowClosed(false);
        window = std::make_unique<UninstallWindow>();
        port = window.get();
    } else {
        terminal = std::make_unique<TerminalPort>();
        port = terminal.get();
    }

    UninstallServices services;
    services.settings = &settings;
    services.port = port;
    services.trash = trash.mover();
    services.distributed = &notifications;
    services.keychain = &keychain;
    services.shares = &shares;
    services.restorer = [&trash] {
        return std::make_unique<RestoreWorkRestorer>(trash);
    };
    AppDelegate delegate(services);
    if (window) {
        window->setCloseGuard([&delegate] {
            return delegate.applicationShouldTerminate() == AppDelegate::TerminateReply::Now;
        });
        window->show();
    }
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return QCoreApplication::exec();
}

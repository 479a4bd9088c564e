#include "uninstaller/AppDelegate.h"

#include <QApplication>
#include <QCoreApplication>
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
    AppDelegate delegate;
    return 0;
}

#include "platform/DetachedApplicationLauncher.h"

#include "core/system/BundleLayout.h"
#include "core/system/Logging.h"
#include "platform/DetachedProgram.h"

#include <QDir>
#include <QProcess>

bool DetachedApplicationLauncher::launchApplication(const QString& bundlePath, const QStringList& arguments)
{
    // A program of the application folder runs from its bundle; any other application path
    // (a catalogue entry's) is the program itself.
    if (!QDir::cleanPath(bundlePath).endsWith(QStringLiteral(".app"))) {
        QString error;
        if (DetachedProgram::start(LaunchCommand::fromHere(bundlePath, QStringList{bundlePath} + arguments),
                                   &error) == 0) {
            qCWarning(lcPlatform) << "cannot launch" << bundlePath << error;
            return false;
        }
        return true;
    }
    const QString program = BundleLayout::executableOfBundle(bundlePath);
    // The program must outlive the caller and must not inherit the caller's working folder,
    // which could lie inside a vault and keep it busy.
    if (!QProcess::startDetached(program, arguments, QStringLiteral("/"))) {
        qCWarning(lcPlatform) << "cannot launch" << program;
        return false;
    }
    return true;
}

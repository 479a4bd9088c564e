#include "platform/DetachedApplicationLauncher.h"

#include "core/system/BundleLayout.h"
#include "core/system/Logging.h"

#include <QProcess>

bool DetachedApplicationLauncher::launchApplication(const QString& bundlePath, const QStringList& arguments)
{
    const QString program = BundleLayout::executableOfBundle(bundlePath);
    // The program must outlive the caller and must not inherit the caller's working folder,
    // which could lie inside a vault and keep it busy.
    if (!QProcess::startDetached(program, arguments, QStringLiteral("/"))) {
        qCWarning(lcPlatform) << "cannot launch" << program;
        return false;
    }
    return true;
}

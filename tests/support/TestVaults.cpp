#include "tests/support/TestVaults.h"

#include "core/settings/Paths.h"
#include "core/system/BundleLayout.h"
#include "core/vault/MountTable.h"
#include "platform/FreedesktopTrash.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QProcess>

void TestVaults::useCheapKeyDerivation()
{
    qputenv("ZV_HDIUTIL_SCRYPTN", "10");
}

bool TestVaults::prepare()
{
    BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
    useCheapKeyDerivation();
    return TestPaths::homeIsPrivate();
}

void TestVaults::clearCase(const QString& folder)
{
    QDir(Paths::settingsFolder()).removeRecursively();
    QDir(FreedesktopTrash::homeTrash()).removeRecursively();
    for (const QString& entry : QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries))
        QDir(folder + QLatin1Char('/') + entry).removeRecursively();
}

int TestVaults::runTool(const QStringList& args, const QByteArray& input)
{
    QProcess tool;
    tool.start(TestPaths::toolPath(), args);
    if (!tool.waitForStarted())
        return -1;
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit)
        return -1;
    return tool.exitCode();
}

QString TestVaults::create(const QString& folder, const QString& name, const QByteArray& password)
{
    const QString image = folder + QLatin1Char('/') + name + QStringLiteral(".sparsebundle");
    const int status = runTool({"create", "-puppetstrings", "-stdinpass", "-encryption", "AES-256", "-size",
                                "100M", "-fs", "HFS+", "-layout", "NONE", "-volname", name, image},
                               password);
    return status == 0 ? image : QString();
}

bool TestVaults::attach(const QString& imagePath, const QByteArray& password)
{
    runTool({"mount", imagePath, "-stdinpass"}, password);
    return isMounted(Paths::vaultNameFromImagePath(imagePath));
}

bool TestVaults::isMounted(const QString& vaultName)
{
    const QString mountPoint = Paths::mountPoint(vaultName);
    for (const MountEntry& entry : MountTable::read())
        if (entry.mountPoint == mountPoint)
            return true;
    return false;
}

bool TestVaults::detach(const QString& vaultName)
{
    if (isMounted(vaultName))
        runTool({"detach", Paths::mountPoint(vaultName), "-force"});
    return !isMounted(vaultName);
}

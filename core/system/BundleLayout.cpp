#include "core/system/BundleLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

namespace {

QMutex g_mutex;
QString g_toolOverride;
QString g_mainBundleOverride;

} // namespace

QString BundleLayout::bundlePathForExecutable(const QString& executablePath)
{
    // X.app/Contents/bin/X -> X.app
    return QDir::cleanPath(QFileInfo(executablePath).absolutePath() + QStringLiteral("/../.."));
}

QString BundleLayout::executableOfBundle(const QString& bundlePath)
{
    QString name = QFileInfo(QDir::cleanPath(bundlePath)).fileName();
    if (name.endsWith(QStringLiteral(".app")))
        name.chop(4);
    return QDir::cleanPath(bundlePath) + QStringLiteral("/Contents/bin/") + name;
}

QString BundleLayout::ownBundlePath()
{
    return bundlePathForExecutable(QCoreApplication::applicationFilePath());
}

QString BundleLayout::mainBundlePath()
{
    {
        QMutexLocker lock(&g_mutex);
        if (!g_mainBundleOverride.isEmpty())
            return g_mainBundleOverride;
    }
    QDir dir(QCoreApplication::applicationDirPath());
    do {
        if (dir.dirName() == QStringLiteral("Zorvane.app"))
            return dir.absolutePath();
    } while (dir.cdUp());
    return ownBundlePath();
}

QString BundleLayout::resourcesPath()
{
    return mainBundlePath() + QStringLiteral("/Contents/Resources");
}

QString BundleLayout::statusBundlePath()
{
    return resourcesPath() + QStringLiteral("/ZorvaneStatus.app");
}

QString BundleLayout::uninstallerBundlePath()
{
    return resourcesPath() + QStringLiteral("/ZorvaneUninstaller.app");
}

QString BundleLayout::catalogueResourcePath()
{
    return resourcesPath() + QStringLiteral("/data.xml");
}

QString BundleLayout::diskImageToolPath()
{
    {
        QMutexLocker lock(&g_mutex);
        if (!g_toolOverride.isEmpty())
            return g_toolOverride;
    }
    return mainBundlePath() + QStringLiteral("/Contents/bin/hdiutil");
}

void BundleLayout::setDiskImageToolPath(const QString& path)
{
    QMutexLocker lock(&g_mutex);
    g_toolOverride = path;
}

void BundleLayout::setMainBundlePath(const QString& path)
{
    QMutexLocker lock(&g_mutex);
    g_mainBundleOverride = path;
}

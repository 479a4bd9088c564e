#include "core/settings/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

namespace {

QString fromEnv(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    // The XDG base-directory rules ignore relative paths.
    return !value.isEmpty() && QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : fallback;
}

} // namespace

QString Paths::home()
{
    return QDir::homePath();
}

QString Paths::configHome()
{
    return fromEnv("XDG_CONFIG_HOME", home() + QStringLiteral("/.config"));
}

QString Paths::dataHome()
{
    return fromEnv("XDG_DATA_HOME", home() + QStringLiteral("/.local/share"));
}

QString Paths::settingsFolder()
{
    return configHome() + QStringLiteral("/Zorvane");
}

QString Paths::settingsFile(const QString& domain)
{
    return settingsFolder() + QLatin1Char('/') + domain + QStringLiteral(".plist");
}

QString Paths::keyFile()
{
    return dataHome() + QStringLiteral("/Quellhaven/Quellhaven.key");
}

QString Paths::volumesRoot()
{
    return dataHome() + QStringLiteral("/Zorvane/Volumes");
}

bool Paths::ensureVolumesRoot()
{
    const QString root = volumesRoot();
    if (!QDir().mkpath(root))
        return false;
    // Mounted vault contents are reachable through here: keep other users out.
    return ::chmod(QFile::encodeName(root).constData(), 0700) == 0;
}

QString Paths::jobsFolder()
{
    return dataHome() + QStringLiteral("/Zorvane/jobs");
}

QString Paths::mountPoint(const QString& vaultName)
{
    return volumesRoot() + QLatin1Char('/') + vaultName;
}

QString Paths::itemDataPath(const QString& vaultName, const QString& originalPath)
{
    return mountPoint(vaultName) + QLatin1Char('/') + QFileInfo(QDir::cleanPath(originalPath)).fileName();
}

QString Paths::vaultNameFromImagePath(const QString& imagePath)
{
    QString name = QFileInfo(QDir::cleanPath(imagePath)).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return name;
}

QString Paths::defaultVaultFolder()
{
    return home() + QStringLiteral("/Zorvane");
}

bool Paths::isValidVaultName(const QString& name)
{
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

#include "core/catalogue/Datafile.h"

#include "core/settings/Paths.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"

#include <QFileInfo>

namespace {

const QString kPhotosLibrary = QStringLiteral("Photos Library.photoslibrary");

} // namespace

bool Datafile::isPhotoLibraryName(const QString& bundleName)
{
    static const QStringList names{QStringLiteral("iPhoto Library"), QStringLiteral("Photo Booth Library"),
                                   QStringLiteral("Aperture Library"), kPhotosLibrary};
    return names.contains(bundleName);
}

QString Datafile::DealLibPath(const QString& path)
{
    QString result = path;
    const qsizetype at = result.indexOf(kHomePlaceholder);
    if (at >= 0)
        result.replace(at, kHomePlaceholder.size(), Paths::home());
    return result;
}

QString Datafile::DealLibPath(const QString& path, SettingsStore& settings, const LibraryLocator& locator)
{
    const QString bundleName = QFileInfo(path).fileName();
    if (!isPhotoLibraryName(bundleName))
        return DealLibPath(path);

    const QString stored = settings.dictionaryForKey(SettingsKeys::NewLibPath).value(bundleName).toString();
    if (!stored.isEmpty())
        return stored;

    const QString located = locator ? locator(bundleName) : QString();
    // A library on another volume (a vault included) is not the one to protect.
    const bool elsewhere = bundleName == kPhotosLibrary && located.contains(u"Volumes", Qt::CaseInsensitive);
    if (located.isEmpty() || elsewhere || !QFileInfo::exists(located))
        return DealLibPath(path);

    QVariantMap resolved = settings.dictionaryForKey(SettingsKeys::NewLibPath);
    resolved.insert(bundleName, located);
    if (!settings.setObject(resolved, SettingsKeys::NewLibPath))
        qCWarning(lcCatalogue) << "could not record the library location of" << bundleName;
    return located;
}

#include "core/vault/ItemPlace.h"

#include "core/catalogue/Catalogue.h"
#include "core/catalogue/Datafile.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/vault/VaultVolume.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace {

// A place below a vault's mount point as the file system resolves it. Only the volumes root is
// resolved: asking the vault itself would wait for its engine, busy with walks.
QString resolvedInVolumes(const QString& relative)
{
    const QString root = QFileInfo(Paths::volumesRoot()).canonicalFilePath();
    return root.isEmpty() ? QString() : root + QLatin1Char('/') + relative;
}

} // namespace

ItemPlace ItemPlace::resolve(const QString& name, const QString& vaultName,
                             const QList<CatalogueEntry>& catalogue, SettingsStore& settings)
{
    ItemPlace place;
    place.name = name;
    place.vaultName = vaultName;
    if (const CatalogueEntry* entry = Catalogue::findByName(catalogue, name)) {
        place.dataPath = Datafile::DealLibPath(entry->libpath, settings);
        place.linkFlag = entry->symlinkFlag();
        place.description = entry->infor;
        place.appPath = entry->existingAppPath();
        return place;
    }
    const Records records(settings);
    if (records.contains(SettingsKeys::CustomFolderItem, name)) {
        place.dataPath = records.entry(SettingsKeys::CustomFolderItem, name);
        place.description = records.entry(SettingsKeys::CustomFolderDescription, name);
        place.isCustom = true;
    }
    return place;
}

QString ItemPlace::target() const
{
    if (dataPath.isEmpty() || !Paths::isValidVaultName(vaultName))
        return {};
    const QString last = QFileInfo(QDir::cleanPath(dataPath)).fileName();
    if (last.isEmpty() || last == QStringLiteral("..") || last == QStringLiteral("."))
        return {};
    return Paths::itemDataPath(vaultName, dataPath);
}

bool ItemPlace::linksToTarget() const
{
    const QString wanted = target();
    const QFileInfo link(dataPath);
    if (wanted.isEmpty() || !link.isSymLink())
        return false;
    QString content = link.symLinkTarget();
    if (content.isEmpty())
        return false;
    content = QDir::cleanPath(content);
    return content == QDir::cleanPath(wanted) ||
           content == resolvedInVolumes(vaultName + QLatin1Char('/') + QFileInfo(wanted).fileName());
}

ItemPlace::State ItemPlace::state(const QString& imagePath, const QList<MountedVault>& vaults,
                                  const PathSafety::Context& safety) const
{
    if (!PathSafety::isSafe(dataPath, safety) || target().isEmpty())
        return State::NoPlace;
    struct stat st;
    // stat follows the link: a link to a locked vault leads nowhere.
    if (::stat(QFile::encodeName(dataPath).constData(), &st) != 0)
        return State::Missing;
    if (linksToTarget() && vaultAttached(vaultName, imagePath, vaults))
        return State::InVault;
    return State::Elsewhere;
}

bool ItemPlace::vaultAttached(const QString& vaultName, const QString& imagePath,
                              const QList<MountedVault>& vaults)
{
    if (imagePath.isEmpty() || !Paths::isValidVaultName(vaultName))
        return false;
    const std::optional<MountedVault> mounted = VaultVolume::mountOfImage(imagePath, vaults);
    return mounted && (mounted->mountPoint == QDir::cleanPath(Paths::mountPoint(vaultName)) ||
                       mounted->mountPoint == resolvedInVolumes(vaultName));
}

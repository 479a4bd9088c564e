#include "core/files/JobRecovery.h"

#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/vault/ImageWorkFolder.h"
#include "core/vault/ProtectWork.h"
#include "core/vault/VaultMove.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// Where vaults are made and kept: the folders of the recorded images and the vault folders.
QStringList vaultFolders(SettingsStore& settings)
{
    QStringList candidates;
    for (const QVariant& image : Records(settings).list(SettingsKeys::VaultItem))
        candidates.append(QFileInfo(QDir::cleanPath(image.toString())).absolutePath());
    candidates.append(settings.stringForKey(SettingsKeys::DefaultVaultLocation));
    for (const QVariant& folder : settings.dictionaryForKey(SettingsKeys::VaultsLocation))
        candidates.append(folder.toString());
    QStringList folders;
    QSet<QString> seen;
    for (const QString& candidate : std::as_const(candidates)) {
        const QString folder = QDir::cleanPath(candidate);
        if (QDir::isAbsolutePath(folder) && !seen.contains(folder)) {
            seen.insert(folder);
            folders.append(folder);
        }
    }
    return folders;
}

} // namespace

JobSettler JobRecovery::settler()
{
    JobSettler settler;
    settler.registerHandler(VaultMove::kKind, &VaultMove::settle);
    settler.registerHandler(ProtectWork::kKind, &ProtectWork::settle);
    return settler;
}

JobSettler::Report JobRecovery::settleAtStart(const JobSettleServices& services)
{
    const JobSettler::Report report = settler().settle(services);
    if (!report.kept.isEmpty() || !report.setAside.isEmpty() || !report.live.isEmpty())
        qCWarning(lcFiles) << "job journals: kept" << report.kept << "set aside" << report.setAside
                           << "still running" << report.live;
    if (services.settings)
        removeUnfinishedImages(*services.settings);
    return report;
}

QStringList JobRecovery::removeUnfinishedImages(SettingsStore& settings)
{
    QStringList removed;
    for (const QString& folder : vaultFolders(settings))
        removed += ImageWorkFolder::removeAbandoned(folder);
    return removed;
}

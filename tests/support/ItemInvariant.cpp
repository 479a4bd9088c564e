#include "tests/support/ItemInvariant.h"

#include "core/files/VaultLink.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/ItemPlace.h"

#include <QFile>
#include <sys/stat.h>

namespace {

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

QStringList ItemInvariant::check(SettingsStore& settings, const Item& item)
{
    settings.synchronize();
    const Records records(settings);
    QStringList problems;
    QString holder = item.place;
    if (records.contains(SettingsKeys::RedirectItem, item.name)) {
        const QString vault = records.entry(SettingsKeys::RedirectItem, item.name);
        if (!VaultLink::leadsToOwnPlace(item.place, vault))
            return {QStringLiteral("%1 is recorded in vault %2 but its place is not the link there")
                        .arg(item.name, vault)};
        if (!ItemPlace::vaultAttached(vault, records.entry(SettingsKeys::VaultItem, vault)))
            return {QStringLiteral("vault %1 of %2 is not attached").arg(vault, item.name)};
        holder = Paths::itemDataPath(vault, item.place);
    } else if (!VaultLink::target(item.place).isEmpty()) {
        return {QStringLiteral("%1 is not recorded as protected but its place is a link to %2")
                    .arg(item.name, VaultLink::target(item.place))};
    }
    for (const QString& line : item.manifest.missingFrom(FileManifest::of(holder)))
        problems.append(item.name + QStringLiteral(": ") + line);
    return problems;
}

QStringList ItemInvariant::checkRecords(SettingsStore& settings)
{
    settings.synchronize();
    const Records records(settings);
    QStringList problems;
    const QVariantMap vaults = records.list(SettingsKeys::VaultItem);
    for (auto it = vaults.cbegin(); it != vaults.cend(); ++it)
        if (!DiskImageMetadata::isImage(it.value().toString()))
            problems.append(
                QStringLiteral("vault record %1 names no image (%2)").arg(it.key(), it.value().toString()));
    const QVariantMap redirects = records.list(SettingsKeys::RedirectItem);
    for (auto it = redirects.cbegin(); it != redirects.cend(); ++it) {
        const QString vault = it.value().toString();
        if (!vaults.contains(vault)) {
            problems.append(QStringLiteral("%1 is recorded in unknown vault %2").arg(it.key(), vault));
            continue;
        }
        const ItemPlace place = ItemPlace::resolve(it.key(), vault, {}, settings);
        if (place.dataPath.isEmpty() || !VaultLink::leadsToOwnPlace(place.dataPath, vault)) {
            problems.append(
                QStringLiteral("%1: %2 is not the link into vault %3").arg(it.key(), place.dataPath, vault));
            continue;
        }
        if (ItemPlace::vaultAttached(vault, vaults.value(vault).toString()) && !lexists(place.target()))
            problems.append(QStringLiteral("%1: its link leads to nothing in vault %2").arg(it.key(), vault));
    }
    const QVariantMap folders = records.list(SettingsKeys::CustomFolderItem);
    for (auto it = folders.cbegin(); it != folders.cend(); ++it)
        if (!redirects.contains(it.key()) && !lexists(it.value().toString()))
            problems.append(
                QStringLiteral("folder record %1 names nothing (%2)").arg(it.key(), it.value().toString()));
    return problems;
}

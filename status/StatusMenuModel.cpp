#include "status/StatusMenuModel.h"

StatusMenuModel StatusMenuModel::build(const QVariantMap& redirectItems, const QVariantMap& customFolders,
                                       const QVariantMap& vaults, const QStringList& mountedVaults)
{
    StatusMenuModel model;
    for (auto item = redirectItems.constBegin(); item != redirectItems.constEnd(); ++item) {
        const StatusMenuEntry entry{item.key(), mountedVaults.contains(item.value().toString())};
        (customFolders.contains(item.key()) ? model.folders : model.apps).append(entry);
    }
    for (auto vault = vaults.constBegin(); vault != vaults.constEnd(); ++vault)
        model.vaults.append({vault.key(), mountedVaults.contains(vault.key())});
    return model;
}

#pragma once

#include "core/catalogue/CatalogueEntry.h"
#include "core/files/PathSafety.h"
#include "core/vault/VaultVolume.h"

#include <QList>
#include <QString>

class SettingsStore;

// Where a protected item's data belongs, and whether it is reachable there. The item list, its
// repair at start, locking and restoring all ask the same questions, so they ask them here.
struct ItemPlace
{
    QString name;
    QString vaultName;
    QString dataPath;    // empty when neither the catalogue nor the custom folders know the item
    int linkFlag = 1;    // 0: the data path is a link only while the vault is attached
    QString description; // the catalogue's "infor" or the folder's description; may be empty
    QString appPath;     // the first "apppath" alternative that exists (applications only)
    bool isCustom = false;

    enum class State
    {
        NoPlace,   // no data path, or one that must not be touched (PathSafety)
        Missing,   // nothing at the data path; a dangling link counts as nothing
        Elsewhere, // something is there, but not the link to the item's place in its vault
        InVault,   // a link to the item's place in its vault, which is attached and holds it
    };

    // A catalogue entry of that name first, then a custom folder; else no data path.
    static ItemPlace resolve(const QString& name, const QString& vaultName,
                             const QList<CatalogueEntry>& catalogue, SettingsStore& settings);

    // The item's place inside its vault; empty without a data path or a usable vault name.
    QString target() const;
    // Whether the data path is a link whose content names target() (not whether it resolves).
    bool linksToTarget() const;
    // vaults: the mounted vaults, as VaultVolume::mountedVaults lists them.
    State state(const QString& imagePath, const QList<MountedVault>& vaults,
                const PathSafety::Context& safety) const;

    // The vault's image is attached at the vault's own mount point, as the kernel's mount table
    // says; an empty folder left where a vault was mounted does not count.
    static bool vaultAttached(const QString& vaultName, const QString& imagePath,
                              const QList<MountedVault>& vaults = VaultVolume::mountedVaults());
};

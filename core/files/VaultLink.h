#pragma once

#include <QString>

// Whether a protected place's link leads where the records say its data is: its own place in
// its own vault (the vault's mount point, with the item's own name). A path from the settings
// is never trusted further than that; a link leading anywhere else is not followed.
class VaultLink
{
public:
    // The link's target, absolute and clean (a relative target is taken from the link's
    // folder); empty when path is no link.
    static QString target(const QString& path);
    // True when path is a link whose target is the item's place in the vault, whether or not
    // the vault is unlocked now.
    static bool leadsToOwnPlace(const QString& path, const QString& vaultName);
};

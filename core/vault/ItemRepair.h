#pragma once

#include "core/files/MoveToTrash.h"
#include "core/files/PathSafety.h"

#include <QSet>
#include <QString>

class AttachDiskImageController;
class SettingsStore;
class WalkQueue;

// Puts protected items back in order at start: a link that went missing is made again, data an
// application recreated at the item's place is kept aside when the vault holds a larger copy, and
// an item whose data the attached vault lacks is reported for dropping. Nothing is ever deleted;
// a step that fails leaves the item as it was and keeps it.
//
// One object serves one load of the list (or one uninstall): each vault's password is asked for
// at most once. The uninstaller runs the same repair before it restores an item and does not use
// the answer: an item it would drop is then simply not a link, which the uninstaller reports.
class ItemRepair
{
public:
    struct Services
    {
        SettingsStore* settings = nullptr;
        MoveToTrash trash;
        AttachDiskImageController* unlocker = nullptr; // asks for the password; may be null
        WalkQueue* walks = nullptr;                    // measures off this thread
    };

    explicit ItemRepair(const Services& services);

    // True keeps the item, false drops it from the list (its data stays where it is).
    bool trytorepairproblem(const QString& dataPath, const QString& vaultName, int linkFlag);

    // Vaults this repair tried to unlock (each at most once).
    const QSet<QString>& unlockAttempts() const { return m_unlockAttempts; }

private:
    bool repairPermanentLink(const QString& dataPath, const QString& vaultName, const QString& target);
    bool repairLinkWhileUnlocked(const QString& dataPath, const QString& vaultName, const QString& target);
    bool linkMissingPlace(const QString& dataPath, const QString& vaultName, const QString& target);
    bool attached(const QString& vaultName) const;
    bool targetExists(const QString& vaultName, const QString& target) const;
    // The vault attached now, unlocking it when it isn't (once per vault and repair).
    bool ensureAttached(const QString& vaultName);
    bool holdsNothing(const QString& path) const;
    QString imageOf(const QString& vaultName) const;

    Services m_services;
    PathSafety::Context m_safety;
    QSet<QString> m_unlockAttempts;
};

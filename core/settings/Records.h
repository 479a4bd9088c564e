#pragma once

#include <QStringList>
#include <QVariantMap>
#include <functional>

class SettingsStore;

// The record lists of the settings. Every change reads the whole list, changes a copy and
// writes the whole list back; lists that belong together are updated one after the other.
class Records
{
public:
    explicit Records(SettingsStore& store) : m_store(store) {}

    // An absent list reads as empty.
    QVariantMap list(const QString& listKey) const;
    QString entry(const QString& listKey, const QString& name) const;
    bool contains(const QString& listKey, const QString& name) const;
    bool setEntry(const QString& listKey, const QString& name, const QString& value);
    // The list is written back even when it did not hold the name, so a list that becomes
    // empty stays as an empty dictionary.
    bool removeEntry(const QString& listKey, const QString& name);
    bool removeEntries(const QString& listKey, const QStringList& names);

    // The typed name when it is not yet a vault; otherwise "name_N" with the smallest N from 0.
    QString uniqueVaultName(const QString& typedName) const;
    // Stores the vault under a unique name and returns that name; never replaces a record.
    QString addVault(const QString& typedName, const QString& imagePath);

    bool recordProtectedItem(const QString& item, const QString& vaultName, const QString& originalPath,
                             bool permanentLink);
    bool removeProtectedItem(const QString& item, bool permanentLink);
    bool recordCustomFolder(const QString& item, const QString& path, bool isDirectory);

    QStringList startupItems() const;
    bool addStartupItem(const QString& imagePath);
    bool removeStartupItem(const QString& imagePath);
    // A vault image that moved keeps its place in the list.
    bool replaceStartupItem(const QString& from, const QString& to);

    // Start-up pruning: every protected item for which isValid(item, vaultName) is false is
    // removed from "redirectitem" in one read-modify-write. Returns the removed names.
    QStringList pruneProtectedItems(const std::function<bool(const QString&, const QString&)>& isValid);

private:
    SettingsStore& m_store;
};

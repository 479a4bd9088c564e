#include "core/settings/Records.h"

#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"

QVariantMap Records::list(const QString& listKey) const
{
    return m_store.dictionaryForKey(listKey);
}

QString Records::entry(const QString& listKey, const QString& name) const
{
    return list(listKey).value(name).toString();
}

bool Records::contains(const QString& listKey, const QString& name) const
{
    return list(listKey).contains(name);
}

bool Records::setEntry(const QString& listKey, const QString& name, const QString& value)
{
    QVariantMap copy = list(listKey);
    copy.insert(name, value);
    return m_store.setObject(copy, listKey);
}

bool Records::removeEntry(const QString& listKey, const QString& name)
{
    return removeEntries(listKey, {name});
}

bool Records::removeEntries(const QString& listKey, const QStringList& names)
{
    QVariantMap copy = list(listKey);
    for (const QString& name : names)
        copy.remove(name);
    return m_store.setObject(copy, listKey);
}

QString Records::uniqueVaultName(const QString& typedName) const
{
    const QVariantMap vaults = list(SettingsKeys::VaultItem);
    if (!vaults.contains(typedName))
        return typedName;
    for (int i = 0;; ++i) {
        const QString candidate = QStringLiteral("%1_%2").arg(typedName).arg(i);
        if (!vaults.contains(candidate))
            return candidate;
    }
}

QString Records::addVault(const QString& typedName, const QString& imagePath)
{
    const QString name = uniqueVaultName(typedName);
    return setEntry(SettingsKeys::VaultItem, name, imagePath) ? name : QString();
}

bool Records::recordProtectedItem(const QString& item, const QString& vaultName, const QString& originalPath,
                                  bool permanentLink)
{
    bool ok = setEntry(SettingsKeys::RedirectItem, item, vaultName);
    if (!permanentLink)
        ok = setEntry(SettingsKeys::AppStoreItems, item, originalPath) && ok;
    ok = setEntry(SettingsKeys::BakRedirectPath, item, vaultName) && ok;
    return m_store.synchronize() && ok;
}

bool Records::removeProtectedItem(const QString& item, bool permanentLink)
{
    bool ok = removeEntry(SettingsKeys::RedirectItem, item);
    if (!permanentLink)
        ok = removeEntry(SettingsKeys::AppStoreItems, item) && ok;
    if (contains(SettingsKeys::CustomFolderItem, item)) {
        ok = removeEntry(SettingsKeys::CustomFolderItem, item) && ok;
        ok = removeEntry(SettingsKeys::CustomFolderDescription, item) && ok;
    }
    return m_store.synchronize() && ok;
}

bool Records::recordCustomFolder(const QString& item, const QString& path, bool isDirectory)
{
    const bool ok = setEntry(SettingsKeys::CustomFolderItem, item, path);
    return setEntry(SettingsKeys::CustomFolderDescription, item,
                    item + (isDirectory ? QStringLiteral(" folder") : QStringLiteral(" file"))) &&
           ok;
}

QStringList Records::startupItems() const
{
    return m_store.stringArrayForKey(SettingsKeys::StartupItem);
}

bool Records::addStartupItem(const QString& imagePath)
{
    QVariantList items = m_store.arrayForKey(SettingsKeys::StartupItem);
    if (items.contains(imagePath))
        return true;
    items.append(imagePath);
    return m_store.setObject(items, SettingsKeys::StartupItem);
}

bool Records::removeStartupItem(const QString& imagePath)
{
    QVariantList items = m_store.arrayForKey(SettingsKeys::StartupItem);
    if (!items.removeAll(imagePath))
        return true;
    return m_store.setObject(items, SettingsKeys::StartupItem);
}

bool Records::replaceStartupItem(const QString& from, const QString& to)
{
    QVariantList items = m_store.arrayForKey(SettingsKeys::StartupItem);
    const qsizetype at = items.indexOf(from);
    if (at < 0)
        return true;
    items.removeAll(from);
    if (!items.contains(to))
        items.insert(std::min(at, items.size()), to);
    return m_store.setObject(items, SettingsKeys::StartupItem);
}

QStringList Records::pruneProtectedItems(const std::function<bool(const QString&, const QString&)>& isValid)
{
    const QVariantMap items = list(SettingsKeys::RedirectItem);
    QStringList invalid;
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        if (!isValid(it.key(), it.value().toString()))
            invalid.append(it.key());
    }
    if (!invalid.isEmpty())
        removeEntries(SettingsKeys::RedirectItem, invalid);
    return invalid;
}

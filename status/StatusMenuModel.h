#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// One entry of the status menu: an item or vault name and whether its vault is unlocked.
struct StatusMenuEntry
{
    QString name;
    bool unlocked = false;
    bool operator==(const StatusMenuEntry&) const = default;
};

// What the status menu shows. Built from the record lists and the mounted vaults; two models
// are equal exactly when the menu would look the same, so the menu is rebuilt only on a change.
struct StatusMenuModel
{
    QList<StatusMenuEntry> folders;
    QList<StatusMenuEntry> apps;
    QList<StatusMenuEntry> vaults;

    bool hasItems() const { return !folders.isEmpty() || !apps.isEmpty(); }
    bool operator==(const StatusMenuModel&) const = default;

    // redirectItems: item → vault ("redirectitem"); an item that is also a key of
    // customFolders is a folder, any other an application. vaults: "vaultitem".
    // mountedVaults: names of the vaults mounted at their own place.
    static StatusMenuModel build(const QVariantMap& redirectItems, const QVariantMap& customFolders,
                                 const QVariantMap& vaults, const QStringList& mountedVaults);
};

#pragma once

#include "platform/Trash.h"

// The desktop's Trash as every Linux file manager shares it: files/ and info/ with one
// .trashinfo file per item, in $XDG_DATA_HOME/Trash for items on the home's file system and in
// $topdir/.Trash/$uid or $topdir/.Trash-$uid for items on other mounts (a mounted vault's items
// thus stay in the vault). A symbolic link is trashed as the link.
class FreedesktopTrash : public Trash
{
public:
    TrashResult moveToTrash(const QString& path) override;
    TrashResult restore(const QString& trashedPath) override;
    QString findTrashed(const QString& originalPath, const QDateTime& notBefore) override;

    // The trash folder an item on this device goes to; created when missing. Empty on failure.
    static QString trashFolderFor(const QString& absoluteParent, QString* topDir, QString* error);
    static QString homeTrash();
};

#pragma once

#include <QString>
#include <QUrl>

// Login items by display name, on XDG autostart entries (Name= is the display name).
class LoginItems
{
public:
    static LoginItems& sharedLoginItems();

    // True when the entry was written. An entry Zorvane wrote earlier under the same name is
    // replaced, so adding twice leaves one entry.
    bool addItemWithDisplayName(const QString& displayName, const QUrl& url, bool hidden);
    // Removes the first item with exactly that name; true also when no item has it. False
    // when the folder cannot be read or the file not removed.
    bool removeItemWithDisplayName(const QString& displayName);
    bool hasItemWithDisplayName(const QString& displayName);
    // Removes every entry of that name that Zorvane wrote (others' entries stay); true when
    // none is left afterwards.
    bool removeOwnItemsWithDisplayName(const QString& displayName);
};

#pragma once

#include <QString>

// Data that is in the way is kept under a new name beside its place, never deleted.
class SetAside
{
public:
    static inline const QString kSuffix = QStringLiteral("_zorvanebak");

    // Moves the item at from to "<basePath><suffix>", or "<basePath><suffix>_N" with the
    // smallest free N from 1, never replacing anything. Returns the new path, or empty when the
    // item could not be moved (it is then where it was).
    static QString moveAside(const QString& from, const QString& basePath, const QString& suffix = kSuffix);
    // Puts an item set aside back at its place, unless something took the place meanwhile.
    static bool moveBack(const QString& aside, const QString& place);

    // True only for what holds nothing worth keeping: an empty file, or a folder tree of empty
    // folders, all owned by this user and all readable. An empty file inside, a link, anything
    // unreadable or foreign makes the answer false. Walks the tree; keep it off a window's thread.
    static bool holdsNothing(const QString& path);
};

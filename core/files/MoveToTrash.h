#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

// Moves an item to the user's Trash: true when it went, false with the reason when it stays where
// it is. Never a deletion. The programs pass their platform Trash in this form, so flows and
// their start-up recovery in core/ can set data aside without knowing the platform.
using MoveToTrash = std::function<bool(const QString& path, QString* error)>;

// The same with where the item went (its path in the trash's files/ folder); empty on failure.
using TrashAndTell = std::function<QString(const QString& path, QString* error)>;
// Puts a trashed item back at its original place; refuses when something took the place.
using RestoreFromTrash = std::function<bool(const QString& trashedPath, QString* error)>;
// The item the Trash holds for an original place, trashed at notBefore or later (the newest such
// one); empty when there is none.
using FindInTrash = std::function<QString(const QString& originalPath, const QDateTime& notBefore)>;

// A flow's whole view of the Trash.
struct TrashAccess
{
    TrashAndTell trash;
    RestoreFromTrash restore;
    FindInTrash find;
};

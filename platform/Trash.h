#pragma once

#include "core/files/MoveToTrash.h"

#include <QString>

// Where a trashed item went, or why it could not go there.
struct TrashResult
{
    bool ok = false;
    QString trashedPath; // the item inside the trash's files/ folder
    QString infoPath;    // its .trashinfo file
    QString error;
};

// Moves items to the user's Trash. Nothing is ever deleted instead: an item that can't be
// trashed stays where it is and the result says why.
class Trash
{
public:
    virtual ~Trash() = default;
    virtual TrashResult moveToTrash(const QString& path) = 0;
    // Moves a trashed item (its path inside files/) back to where it came from. Refuses when
    // something occupies that place.
    virtual TrashResult restore(const QString& trashedPath) = 0;

    // This Trash in the form core's flows and their start-up recovery take it.
    MoveToTrash mover()
    {
        return [this](const QString& path, QString* error) {
            const TrashResult result = moveToTrash(path);
            if (!result.ok && error)
                *error = result.error;
            return result.ok;
        };
    }
};

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
    // The trashed item (its path inside files/) that came from originalPath, trashed at
    // notBefore or later; the newest when there are several. Empty when there is none.
    virtual QString findTrashed(const QString& originalPath, const QDateTime& notBefore)
    {
        Q_UNUSED(originalPath);
        Q_UNUSED(notBefore);
        return {};
    }

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
    // Moving, restoring and finding, for flows that may have to undo a Trash step.
    TrashAccess access()
    {
        TrashAccess access;
        access.trash = [this](const QString& path, QString* error) {
            const TrashResult result = moveToTrash(path);
            if (!result.ok && error)
                *error = result.error;
            return result.ok ? result.trashedPath : QString();
        };
        access.restore = [this](const QString& trashedPath, QString* error) {
            const TrashResult result = restore(trashedPath);
            if (!result.ok && error)
                *error = result.error;
            return result.ok;
        };
        access.find = [this](const QString& originalPath, const QDateTime& notBefore) {
            return findTrashed(originalPath, notBefore);
        };
        return access;
    }
};

#pragma once

#include "core/files/MoveToTrash.h"
#include "core/processes/DaemonTable.h"

#include <QString>
#include <atomic>

// The Trash step of a file job's worker: an item that was just copied may still be held open for
// a moment, so the Trash is tried after 1 s, again after 5 s, and a third time 2 s after the
// daemon table's rows for that attempt have stopped what keeps such data open. Blocks its thread.
class TrashRetries
{
public:
    // Where the item went in the Trash; empty (and *why) when all three attempts failed or
    // cancelled was set meanwhile (the item is then where it was).
    static QString trash(const QString& path, const TrashAndTell& trash, const DaemonQuery& thirdAttempt,
                         const std::atomic<bool>& cancelled, QString* why = nullptr);
    // Sleeps in short steps; false when cancelled was set meanwhile.
    static bool wait(int milliseconds, const std::atomic<bool>& cancelled);
};

#pragma once

#include <QString>
#include <functional>

// Moves an item to the user's Trash: true when it went, false with the reason when it stays where
// it is. Never a deletion. The programs pass their platform Trash in this form, so flows and
// their start-up recovery in core/ can set data aside without knowing the platform.
using MoveToTrash = std::function<bool(const QString& path, QString* error)>;

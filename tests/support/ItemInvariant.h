#pragma once

#include "tests/support/FileManifest.h"

#include <QString>
#include <QStringList>

class SettingsStore;

// The promise of every data-moving flow, checked after a fault and the start-up recovery: an
// item's data is whole in exactly one place the records name (its original place, or the vault
// behind the link there), and no record or link points where it must not. Each check answers
// the problems found, one line each; empty when the promise holds.
class ItemInvariant
{
public:
    struct Item
    {
        QString name;
        QString place;
        FileManifest manifest; // what must be whole
    };

    // A protected item's vault must be attached for its data to be compared.
    static QStringList check(SettingsStore& settings, const Item& item);
    // Every vault record names an image; every protected item's place is the link to its own
    // place in its recorded vault (so no link leads outside it) and an attached vault holds
    // what it leads to; a folder record of an unprotected item names something that exists.
    static QStringList checkRecords(SettingsStore& settings);
};

#pragma once

#include <QString>
#include <functional>
#include <memory>

class SettingsStore;

// Copies one protected item back out of its vault for the uninstaller, under a job journal:
// the copy grows hidden beside the data path, is checked, written to the disk and only then
// takes the link's place; the vault's copy always stays. Until then a failure leaves the link,
// the vault's data and the records as they were.
//
// prepare, begin and endJournal run on the owner's thread; run on a worker thread.
class ItemRestorer
{
public:
    struct Item
    {
        QString name;
        QString vault;
        QString place; // the data path, a link into the vault now
        int linkFlag = 1;
    };

    virtual ~ItemRestorer() = default;
    // Checks the item's places; empty when it can be restored, else why it can't.
    virtual QString prepare(const Item& item, SettingsStore& settings) = 0;
    // The programs holding files of the vault's copy, joined by ","; empty when none.
    virtual QString holders() = 0;
    // Writes the journal; false (and *error) when the job must not start.
    virtual bool begin(QString* error) = 0;
    // The copy, check and swap; true when the data is at its place.
    virtual bool run() = 0;
    // Asks a running copy to stop at its next step; nothing changes then but the hidden copy.
    virtual void cancel() = 0;
    virtual quint64 bytesDone() const = 0;
    // The vault's copy being restored.
    virtual QString source() const = 0;
    virtual QString failure() const = 0;
    // The job is over: its journal goes.
    virtual bool endJournal() = 0;
};

using ItemRestorerFactory = std::function<std::unique_ptr<ItemRestorer>()>;

#pragma once

#include "app/items/item1.h"
#include "core/catalogue/CatalogueEntry.h"
#include "core/settings/SettingsStore.h"
#include "core/system/NotificationCenter.h"
#include "platform/FreedesktopTrash.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/ScriptedProtectPort.h"
#include "tests/support/ScriptedScanSheetPort.h"
#include "ui/AttachedWindow.h"

#include <functional>
#include <memory>
#include <mutex>

// The real Trash, which a test can make refuse some items or follow with an action of its own
// right after an item went (the job's worker thread calls it).
class ControlledTrash : public FreedesktopTrash
{
public:
    TrashResult moveToTrash(const QString& path) override;

    std::function<bool(const QString& path)> refuse;
    std::function<void(const QString& path)> afterTrash;
    int refusals() const;

private:
    mutable std::mutex m_mutex;
    int m_refusals = 0;
};

// Files are read as their modes say even by root: the calling thread, and the threads it starts
// meanwhile, lose the capabilities that override them (nothing changes for another user).
class FileModesEnforced
{
public:
    FileModesEnforced();
    ~FileModesEnforced();
    FileModesEnforced(const FileModesEnforced&) = delete;
    FileModesEnforced& operator=(const FileModesEnforced&) = delete;

private:
    bool m_dropped = false;
    quint32 m_saved[2] = {0, 0};
};

// The protected-items page with real vaults, the real Trash (controllable) and scripted answers,
// for the protect tests.
struct ProtectFixture
{
    static inline const QByteArray kPassword = "protect-pw";

    SettingsStore settings{SettingsStore::kZorvaneDomain};
    ScriptedAlertPort alerts;
    ControlledTrash trash;
    NotificationCenter local;
    ScriptedPasswordPanel panel;
    ScriptedProtectPort port;
    ScriptedScanSheetPort scanSheet;
    QList<CatalogueEntry> catalogue;
    std::unique_ptr<item1> page;

    ProtectFixture();
    ~ProtectFixture();
    ItemPageServices services();
    item1& makePage();
    // A vault image in folder, attached and recorded; its name, or empty on failure.
    QString addVault(const QString& folder, const QString& name,
                     const QString& size = QStringLiteral("100M"));
    // Attaches a recorded vault again (a finished batch locks its vault).
    bool attach(const QString& vaultName);
    // Fills the custom-folder sheet and presses its OK.
    void request(const QString& name, const QString& path, const QString& vaultName);
    // Waits until no job of the page runs; false on timeout.
    bool waitForJobs(int timeoutMs = 60000);
    // "title / text" of every alert shown.
    QStringList alertTexts() const;
    bool isProtected(const QString& item);
};

#pragma once

#include "core/files/CopyManifest.h"
#include "core/files/JobSettler.h"
#include "core/files/JobVerdict.h"
#include "core/files/MoveToTrash.h"
#include "core/files/TreeCopier.h"

#include <QDateTime>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class JobJournal;
class SettingsStore;

// The file work of restoring one protected item, without any window, for the protected-items page
// and the uninstaller: the item's copy in its vault is copied into a hidden folder beside the
// data path, checked against the vault's copy and written to the disk; then one
// renameat2(RENAME_EXCHANGE) puts it in place of the link, the old link goes, and the vault's copy
// goes to the vault's own Trash (unless the caller keeps it).
//
// Until the exchange nothing the user has changes: the link, the vault's data and the records stay
// as they were, and a failure removes only the hidden folder. A JobJournal of kind "restore"
// records the stages; settle() at the next start rolls a cut-off restore back (the hidden folder
// goes) or finishes it (old link, records, vault copy), as the data path shows.
//
// prepare(), begin() and the completion (recordOver, endJournal) run on the owner's thread, run()
// on a worker thread of its own; clearHolders() may wait seconds and belongs off a window's thread.
class RestoreWork
{
public:
    static inline const QString kKind = QStringLiteral("restore");
    static inline const QString kItem = QStringLiteral("item");
    static inline const QString kPlace = QStringLiteral("place");
    static inline const QString kVault = JobJournal::kVault;
    static inline const QString kSource = QStringLiteral("source");
    static inline const QString kLinkFlag = QStringLiteral("linkflag");
    static inline const QString kStaging = QStringLiteral("staging");
    static inline const QString kKeepVaultCopy = QStringLiteral("keepvaultcopy");
    // The copy is being made in the hidden folder; the link is untouched.
    static inline const QString kStageCopying = QStringLiteral("copying");
    // The checked copy is on the disk and about to take the link's place; the data path tells
    // whether it did.
    static inline const QString kStageSwapping = QStringLiteral("swapping");
    // The copy is at the data path: the old link, the vault's copy and the records are left.
    static inline const QString kStageSwapped = QStringLiteral("swapped");

    // What a vault copy that stays in the vault is renamed to.
    static inline const QString kSpecifySuffix = QStringLiteral("_zorvane43_specify_bak");
    static inline const QString kNotTrashedSuffix = QStringLiteral("_zorvaneres_bak");

    struct Plan
    {
        QString item;
        QString place;   // the data path: the link now, the restored data afterwards
        QString vault;   // the vault that holds the item
        QString source;  // the item's copy in the vault
        QString staging; // the hidden folder's name, beside the data path
        int linkFlag = 1;
        bool keepVaultCopy = false; // the vault's copy stays where it is (the uninstaller)
        bool verifyContent = false; // also read the restored copy back and compare checksums

        QString stagingFolder() const;
        QString stagedCopy() const;
    };

    // Why an item can't be restored (the user is told), or the plan.
    struct Prepared
    {
        std::optional<Plan> plan;
        QString refusal;
    };

    // Checks the item's places before anything happens: the data path must be safe to act on
    // (never "/", the home folder or above, anything in the volumes root) and be the link to the
    // item's own place in its recorded vault (or nothing, when the vault named by
    // "bakredirectpath" holds the item); that copy must be there, in an attached vault.
    static Prepared prepare(const QString& item, const QString& vault, const QString& place, int linkFlag,
                            SettingsStore& settings);
    // The processes holding files of the vault's copy: the daemon table's rows for the item and its
    // holders are applied first (they may keep writing into the vault behind the restored copy's
    // back), then the holders are looked for again. Names joined by ",", empty when none is left.
    static QString clearHolders(const Plan& plan);

    RestoreWork(const Plan& plan, const TrashAccess& trash);
    ~RestoreWork();
    RestoreWork(const RestoreWork&) = delete;
    RestoreWork& operator=(const RestoreWork&) = delete;

    // Writes the journal, before anything changes on disk; false with *error when it can't be
    // written: the job must not start.
    bool begin(QString* error = nullptr);
    // The worker. True for "over": the data is at its place (the vault's copy is in the Trash, set
    // aside in the vault, or kept). False for "error" (failure() says why): nothing changed but
    // the hidden folder, which is gone again. A test seam's stop returns false with
    // stoppedWithoutVerdict().
    bool run();
    void cancel() { m_control.cancelled = true; }

    const Plan& plan() const { return m_plan; }
    quint64 bytesDone() const { return m_control.bytesDone.load(); }
    QString failure() const { return m_verdict.failure(); }
    bool stoppedWithoutVerdict() const { return m_verdict.stoppedWithoutVerdict(); }
    // Where the vault's copy went (its Trash path or the name it was set aside under); empty when
    // kept or not reached.
    QString vaultCopyWent() const;

    // Completion of "over": the item's records go (its "bakredirectpath" entry stays), persisted.
    bool recordOver(SettingsStore& settings, QString* error = nullptr) const;
    // The job is over: its journal goes.
    bool endJournal();

    static SettleOutcome settle(const JobRecord& journal, const JobSettleServices& services);

    // Test seam, called on the worker at each named point ("copying", "copied", "swapping",
    // "swapped", "trashed"); false stops the worker there without a verdict. Without a hook the
    // point named by ZV_TEST_KILL_AT kills the process.
    using Checkpoint = std::function<bool(const QString& point, const Plan& plan)>;
    static void setCheckpoint(Checkpoint hook);

private:
    bool checkpoint(const char* point);
    bool fail(const QString& why) { return m_verdict.fail(why); }
    void dropStaging();
    void disposeOfVaultCopy();

    Plan m_plan;
    TrashAccess m_trash;
    std::unique_ptr<JobJournal> m_journal;
    TreeCopier::Control m_control;
    CopyManifest m_manifest;
    JobVerdict m_verdict;
    mutable std::mutex m_mutex; // guards m_vaultCopyWent
    QString m_vaultCopyWent;
    bool m_keepChangedSource = false; // worker thread only
};

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

class JobJournal;
class SettingsStore;

// The file work of one protect job, without any window: for a new item it copies the item's data
// into the vault, checks the copy against the original as it is now, writes the vault to the disk,
// moves the original to the Trash and leaves a link to the copy in its place; for a move it copies
// the item's vault copy into another vault, moves the old copy and the old link to the Trash and
// links the place to the new copy.
//
// A JobJournal of kind "protect" records every stage before the step it names, so a job cut off
// anywhere is finished or undone by settle() at the next start: undone while the original has not
// gone to the Trash, finished (link, records) once it has. A step that fails after the Trash puts
// the original (or the old copy and link) back. Nothing is ever deleted: copies left over are set
// aside, originals go to the Trash.
//
// begin() and the completion (recordOver, rollBack, endJournal) run on the owner's thread; run()
// on a worker thread of its own.
class ProtectWork
{
public:
    static inline const QString kKind = QStringLiteral("protect");
    static inline const QString kItem = QStringLiteral("item");
    static inline const QString kPlace = QStringLiteral("place");
    static inline const QString kVault = JobJournal::kVault;
    static inline const QString kOldVault = JobJournal::kOldVault;
    static inline const QString kMode = QStringLiteral("mode");
    static inline const QString kLinkFlag = QStringLiteral("linkflag");
    static inline const QString kCustomRecord = QStringLiteral("customrecord");
    static inline const QString kStarted = QStringLiteral("started");
    static inline const QString kTrashPath = QStringLiteral("trashpath");
    static inline const QString kModeNew = QStringLiteral("new");
    static inline const QString kModeMove = QStringLiteral("move");
    // The copy is being made; the original is untouched.
    static inline const QString kStageCopying = QStringLiteral("copying");
    // The checked copy is on the disk; whether the original (a move: the old copy) went to the
    // Trash is the Trash's to tell.
    static inline const QString kStageTrashing = QStringLiteral("trashing");
    // The original is in the Trash: what is left is the link and the records.
    static inline const QString kStageTrashed = QStringLiteral("trashed");

    // Test seam: the environment variable naming the point at which the process kills itself.
    static inline const char* kKillAtVariable = JobVerdict::kKillAtVariable;

    struct Plan
    {
        bool move = false;
        QString item;
        QString place;      // the item's data path: the data (new item) or its link (move)
        QString vault;      // where the data goes
        QString mountPoint; // that vault's mount point
        QString imagePath;  // that vault's image, whose disk is written back before the Trash step
        QString oldVault;   // move: the vault that holds the item now
        QString oldMountPoint;
        int linkFlag = 1;
        bool verifyContent = false;     // also read the copy back and compare checksums
        bool wroteCustomRecord = false; // the request recorded the folder for this job

        QString source() const;      // what is copied
        QString destination() const; // where the copy lands
    };

    ProtectWork(const Plan& plan, const TrashAccess& trash);
    ~ProtectWork();
    ProtectWork(const ProtectWork&) = delete;
    ProtectWork& operator=(const ProtectWork&) = delete;

    // Writes the journal, before anything changes on disk. False with *error when it can't be
    // written: the job must not start.
    bool begin(QString* error = nullptr);
    // The worker. True for "over"; false for "error" (failure() says why). When the test seam
    // stops it, it returns false with stoppedWithoutVerdict() set.
    bool run();
    // Asks a running worker to stop at its next step (the copy stops at once).
    void cancel() { m_control.cancelled = true; }

    const Plan& plan() const { return m_plan; }
    quint64 bytesDone() const { return m_control.bytesDone.load(); }
    QString failure() const { return m_verdict.failure(); }
    bool stoppedWithoutVerdict() const { return m_verdict.stoppedWithoutVerdict(); }
    // After a failure: true while the original (a move: the old copy and link) is whole at its
    // place, so the job can be rolled back; false when it is in the Trash and the journal must
    // stay for the next start to finish.
    bool originalInPlace() const { return !m_originalMoved.load(); }

    // Completion of "over": the records of the protected item, persisted. False with *error when
    // the settings could not be written; the journal must then stay.
    bool recordOver(SettingsStore& settings, QString* error = nullptr) const;
    // Completion of "error" while the original is in place: a copy the job left in the vault is
    // set aside (never removed), and the folder record the request wrote is dropped.
    void rollBack(SettingsStore& settings) const;
    // The job is over: its journal goes.
    bool endJournal();

    // The start-up recovery of a protect job cut off at any point (registered with JobSettler).
    static SettleOutcome settle(const JobRecord& journal, const JobSettleServices& services);

    // Test seam, called on the worker thread at each named point ("copying", "copied",
    // "trashing", "trashmoved", "trashed", "linked"); false stops the worker there without a
    // verdict. Without a hook the point named by ZV_TEST_KILL_AT kills the process.
    using Checkpoint = std::function<bool(const QString& point, const Plan& plan)>;
    static void setCheckpoint(Checkpoint hook);

private:
    bool checkpoint(const char* point);
    bool fail(const QString& why) { return m_verdict.fail(why); }
    QString trashWithRetries(const QString& path);
    bool verifyAndSync();
    bool putBack(const QString& trashedOriginal, const QString& trashedLink);

    Plan m_plan;
    TrashAccess m_trash;
    QDateTime m_started;
    std::unique_ptr<JobJournal> m_journal;
    TreeCopier::Control m_control;
    CopyManifest m_manifest;
    JobVerdict m_verdict;
    std::atomic<bool> m_originalMoved{false};
};

#pragma once

#include "core/files/FileOperation.h"
#include "core/files/JobSettler.h"
#include "core/files/MoveToTrash.h"
#include "core/files/SharedString.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>

class JobJournal;
class QTimer;
class SettingsStore;

enum class VaultMoveStep
{
    Copying,   // the image is being copied into the hidden staging folder (detail: its size text)
    Verifying, // the copy is written to the disk and compared with the image
    Placed,    // the image is complete under its final name at the new place
    Switched,  // the records name the new place
    Trashed    // the old image went to the Trash
};

struct VaultMoveOutcome
{
    enum class Result
    {
        Moved,
        Failed,
        Cancelled
    };
    Result result = Result::Failed;
    QString newPath;
    // Failed: why, for the user. Moved: what the user still has to know (the old image could
    // not go to the Trash and stays where it was), else empty.
    QString message;
};

// Follows a move: the bytes copied (through CopyProgressIndicator), the steps and the end.
class VaultMoveObserver : public CopyProgressIndicator
{
public:
    virtual void moveStepChanged(VaultMoveStep step, const QString& detail) = 0;
    virtual void moveEnded(const VaultMoveOutcome& outcome) = 0;
};

struct VaultMoveServices
{
    SettingsStore* settings = nullptr;
    MoveToTrash moveToTrash;
};

// Moves a locked vault's image into another folder without ever risking it. On the same file
// system it is one rename that never replaces anything. Otherwise FileOperation copies the image
// into a hidden staging folder beside its new place; off the main thread the copy is written to
// the disk and compared with the image; then it is renamed into place, the records follow it
// (vault record, "StartupItem", the old network-vault record) and the old image goes to the Trash.
// A JobJournal of kind "move" records every stage first, so a move cut off anywhere is finished
// or undone by settle() at the next start. The 1.0 s timer checkfilecopyover drives the steps; the
// copy's progress reports and the end of the check call it too, so no step waits for a tick.
class VaultMove : public QObject
{
    Q_OBJECT

public:
    static inline const QString kKind = QStringLiteral("move");
    static inline const QString kName = QStringLiteral("name");
    static inline const QString kOldPath = QStringLiteral("oldpath");
    static inline const QString kNewPath = QStringLiteral("newpath");
    static inline const QString kStageCopying = QStringLiteral("copying");
    static inline const QString kStageCopied = QStringLiteral("copied");
    static inline const QString kStageSwitched = QStringLiteral("switched");
    static constexpr int kTimerIntervalMs = 1000;

    struct Request
    {
        QString vaultName;
        QString imagePath;
        QString destinationFolder;
        bool alwaysCopy = false; // copy even where a rename would do (tests, benchmarks)
    };
    struct Refusal
    {
        QString title;
        QString text;
    };

    // What stops this move before anything changes: a destination that is not an absolute
    // existing folder, lies inside the image or inside a vault, already holds an item of the
    // image's name or lacks the room for a copy; a missing image. Walks the image: call it off
    // the main thread.
    static std::optional<Refusal> check(const Request& request);
    // Where the image lands, and the hidden folder its copy grows in.
    static QString targetPath(const Request& request);
    static QString stagingFolder(const QString& newPath);
    // Points the records of a vault at its image in its new place: the vault record, the
    // "StartupItem" entry, and the network-vault record of the old place, which is dropped.
    static bool switchRecords(SettingsStore& settings, const QString& name, const QString& from,
                              const QString& to, QString* error = nullptr);

    VaultMove(const VaultMoveServices& services, const Request& request, VaultMoveObserver* observer,
              QObject* parent = nullptr);
    ~VaultMove() override;

    // Journals the move and starts it. The observer hears moveEnded once, possibly before start()
    // returns (a rename, or a move that could not start).
    void start();
    // Stops a running move and removes everything it made; the image and its records stay.
    // Once the copy is being put in place the move runs to its end and a cancel is ignored.
    void cancel();
    // The timer: picks up the end of the copy, of the check, and switches over.
    void checkfilecopyover();
    bool isRunning() const { return m_running; }

    QString newPath() const { return m_newPath; }
    FileOperation* foper() const { return m_foper.get(); }
    SharedString strover() const { return m_strover; }
    QTimer* timercopy() const { return m_timercopy; }

    // The start-up recovery of a move cut off at any point (registered with JobSettler): the image
    // the records name wins when it is whole, else the records follow a whole image at the other
    // place; the one they don't name goes to the Trash, the staging folder is removed.
    static SettleOutcome settle(const JobRecord& journal, const JobSettleServices& services);

private:
    enum class Phase
    {
        Idle,
        Copying,
        Verifying,
        Done
    };

    bool renameInPlace();
    void startCopy();
    void startVerify();
    void switchOver();
    void end(VaultMoveOutcome::Result result, const QString& message = QString());
    void discard(const QString& message);
    void finishSwitch();
    void stopWork();
    void sampleDestination();
    QString copyFailure() const;

    // Hands the copy's byte counts on to the observer and watches the destination's room
    // meanwhile, to tell why a copy failed.
    class Progress : public CopyProgressIndicator
    {
    public:
        explicit Progress(VaultMove& move) : m_move(move) {}
        void setProgressMaximum(quint64 total) override;
        void setProgressValue(quint64 done) override;

    private:
        VaultMove& m_move;
    };

    VaultMoveServices m_services;
    Request m_request;
    VaultMoveObserver* m_observer = nullptr;
    QString m_oldPath;
    QString m_newPath;
    QString m_staging;
    Phase m_phase = Phase::Idle;
    bool m_running = false;
    bool m_flagged = false;
    bool m_switching = false; // placing the copy and switching over: runs to its end
    std::unique_ptr<JobJournal> m_journal;
    std::unique_ptr<FileOperation> m_foper;
    SharedString m_strover;
    SharedString m_percent;
    SharedString m_size;
    QTimer* m_timercopy = nullptr;
    Progress m_progress{*this};
    quint64 m_lowestFreeBytes = ~quint64(0);
    quint64 m_lowestFreeFiles = ~quint64(0);

    struct Verification
    {
        std::thread worker;
        std::atomic<bool> cancelled{false};
        std::atomic<bool> done{false};
        bool same = false;
        QString difference;
    };
    std::unique_ptr<Verification> m_verification;
};

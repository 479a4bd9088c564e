#pragma once

#include "core/processes/ProcTable.h"
#include "core/vault/AttachDiskImageController.h"
#include "platform/ProcessWatcher.h"
#include "status/HeldLaunchRecord.h"

#include <QHash>
#include <QPointer>
#include <memory>
#include <optional>
#include <vector>

class LaunchHold;
class NoticePort;
class ProtectedProcessNames;
class VaultAutoLock;
struct AutoLockRequest;
struct CatalogueEntry;

// What the helper's controller watches and tells besides unlocking. None is owned.
struct StatusServices
{
    ProcessWatcher* watcher = nullptr;
    NoticePort* notices = nullptr;
    QString procRoot = ProcTable::defaultRoot();
    QString heldRecordPath = HeldLaunchRecord::defaultPath();
};

// The helper's controller. It unlocks like the main application's but never keeps vault
// passwords: it neither looks them up in the keyring nor offers "Remember this password", and
// RequirePass asks at once, naming the image file with its extension. What it records lands in
// the helper's own settings domain, read with Zorvane's domain as a suite below it.
//
// It holds a protected application launched while its vault is locked: the launched process
// tree is stopped at once, the user is asked for the vault's password, and after the unlock the
// stopped tree is ended and the program started afresh with its arguments, folder and
// environment (a process that saw the locked data place must not go on). Launches arriving
// while the prompt is open wait, stopped, for their turn. When a protected application has
// fully quit, its vault is locked again.
class StatusAttachDiskImageController : public AttachDiskImageController
{
    Q_OBJECT

public:
    // Kinds of the unlock prompt.
    static constexpr int kCustomFolder = 0;
    static constexpr int kApplication = 1;
    static constexpr int kVault = 2;

    // How the last prompt ended.
    enum class PromptOutcome
    {
        Unlocked,  // attached, or nothing to unlock
        Cancelled, // the user cancelled
        Refused,   // another prompt was open
        Failed,    // the share, the image or the tool could not be used; nobody was asked
    };

    explicit StatusAttachDiskImageController(const UnlockServices& services, QObject* parent = nullptr);
    StatusAttachDiskImageController(const UnlockServices& services, const StatusServices& status,
                                    QObject* parent = nullptr);
    // Ends every launch still held: nothing is ever left stopped.
    ~StatusAttachDiskImageController() override;

    using AttachDiskImageController::mountDiskImageAtPath;
    // The unlock prompt: 1 when the image is unlocked (or needs no password), 2 when not. app is
    // the kind (0 custom folder, 1 application, 2 vault), processname the item or process it is
    // for. The password argument is not used.
    int mountDiskImageAtPath(const QString& path, int app, const QString& processname,
                             const QStringList& options, const QString& password, QString* error);
    PromptOutcome lastPromptOutcome() const { return m_lastPromptOutcome; }
    bool isCurrentlyWindowActive() const { return m_isCurrentlyWindowActive; }

    // After the program has started: ends or restarts launches a previous run left stopped,
    // notes what runs, and starts watching launches.
    void finishlauch();

    // Every launch of a protected process name.
    void applicationLaunch(const WatchedProcess& process);
    // Holds the launch when the data of the protected item it belongs to is locked. True when
    // it was held.
    bool DoMainJob(const QString& processName, const QString& processPath, const WatchedProcess& process);
    // The controller's own link test: true only for a link; a missing path is no link.
    static bool IsFileASymlnkOrAlias(const QString& path);
    // The catalogue as the settings name it, read afresh; and an entry's data place.
    QList<CatalogueEntry> loadCatalogue();
    QString libraryPath(const CatalogueEntry& entry);

    // Every quit of a watched application. usableItems, when given, limits the items to those
    // the process could use (a sandboxed one sees only some).
    void applicationquit(const WatchedProcess& launch,
                         const std::optional<QStringList>& usableItems = std::nullopt);
    // Locks the vault of the protected item whose application quit.
    void DoQuitJob(const QString& name, const std::optional<QStringList>& usableItems = std::nullopt);
    // A running process of any protected item stored in the vault, or null.
    QString IsAnyTaskStillUseVault(const QString& vaultName);
    // Names of the processes holding files under the mount point, comma-joined, or null.
    QString processNameUsingVault(const QString& mountPoint);
    // Starts locking a vault (request.steps say how far to go) unless a lock of it already
    // runs: null then. The job reports finished and goes by itself afterwards.
    VaultAutoLock* lockVault(const AutoLockRequest& request);
    // Whether a lock of the vault is running.
    bool isLocking(const QString& vault) const;

    // The watched background programs without a user interface: process name → seen running.
    void getNonUIProcess();
    QHash<QString, bool> nouiProcess() const { return m_nouiProcess; }
    bool isFindPhotoSoftware() const { return m_isFindPhotoSoftware; }

    // Re-reads the settings as before every piece of work: what Zorvane persisted since.
    void refreshSettings() override;

    // Zorvane asked the helper to quit: held launches are ended first.
    void needQuit();
    // Ends every held launch and forgets them.
    void endHeldLaunches();
    int heldLaunchCount() const { return int(m_held.size()); }

    // The texts of the notices this controller shows.
    static QString unlockedText(const QString& item);
    static QString canceledText(const QString& processName);
    static QString deniedText();
    static QString notOpenedTitle(const QString& vault);
    static QString notOpenedText(const QString& processName, const QString& vault);
    static QString promptExplanation(int app, const QString& processname, const QString& vaultName);

Q_SIGNALS:
    // A launch was stopped to ask for its vault's password.
    void launchHeld(qint64 pid, const QString& item);
    // A held launch was dealt with: started afresh as relaunchedPid, or ended (0).
    void launchSettled(qint64 pid, const QString& item, qint64 relaunchedPid);
    // An auto-lock ended; locked tells whether the vault is locked now.
    void autoLockFinished(const QString& vault, bool locked);
    // The helper should end now.
    void helperShouldQuit();

protected:
    bool remembersPasswords() const override { return false; }
    QString requirePassPromptName(const QString& path) const override;

private:
    struct HeldLaunch;
    struct LockedItem
    {
        QString item;
        QString lib;
    };
    struct Watched
    {
        WatchedProcess launch;
        QString name;
        bool withoutInterface = false;
        QStringList usableItems;
    };

    void onLaunched(const WatchedProcess& process);
    void onTerminated(const WatchedProcess& launch);
    void watch(const WatchedProcess& process, bool withoutInterface);
    QStringList usableItems(const WatchedProcess& process);
    bool canUse(const WatchedProcess& process, const QString& lib) const;
    bool isNonUIName(const QString& name) const;
    void observeNonUIProcess(const WatchedProcess& process, bool running);

    void schedulePending();
    void processPending();
    // result 1: relink and start afresh; otherwise end it (telling the user when failed).
    void settle(HeldLaunch& launch, int result, bool failed);
    void endHeld(HeldLaunch& launch);
    qint64 relaunch(HeldLaunch& launch);
    void writeHeldRecord();
    void recoverHeldLaunches();
    bool isMounted(const QString& imagePath) const;
    bool notificationsEnabled();
    void notify(const QString& title, const QString& text, bool sticky);

    StatusServices m_status;
    std::unique_ptr<ProtectedProcessNames> m_names;
    bool m_isCurrentlyWindowActive = false;
    PromptOutcome m_lastPromptOutcome = PromptOutcome::Unlocked;
    QHash<QString, bool> m_nouiProcess; // keys lower-cased
    QHash<QString, int> m_nouiRunning;  // live launches per name
    bool m_isFindPhotoSoftware = false;
    QString m_osVersion;
    std::vector<std::unique_ptr<HeldLaunch>> m_held;
    bool m_pendingScheduled = false;
    bool m_processing = false;
    bool m_quitting = false;
    QHash<qint64, Watched> m_watched;
    QHash<QString, QPointer<VaultAutoLock>> m_autoLocks; // by vault
};

#pragma once

#include "core/files/MoveToTrash.h"
#include "uninstaller/ItemRestorer.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <memory>

class AttachDiskImageController;
class WalkQueue;
class DistributedNotificationCenter;
class KeychainStore;
class QThread;
class ServerVolumeMounter;
class SettingsStore;
class UninstallPort;

struct UninstallServices
{
    SettingsStore* settings = nullptr; // the uninstaller's own domain
    UninstallPort* port = nullptr;
    MoveToTrash trash;
    DistributedNotificationCenter* distributed = nullptr; // may be null
    KeychainStore* keychain = nullptr;                    // may be null
    ServerVolumeMounter* shares = nullptr;                // may be null
    ItemRestorerFactory restorer;
};

// ZorvaneUninstaller's job, without widgets: every protected item is copied back out of its
// vault (the vault's copy stays), one after the other; then the autostart entries go, and
// Zorvane and its settings go to the Trash.
//
// An item that can't be restored (its place unsafe or not its link, its data held open, its
// vault missing, the copy failing) stays protected exactly as it was, and the job goes on with
// the next one. While any item stays protected nothing else is removed: Zorvane is the user's
// way back to that data. The program then ends with status 1 and names what stayed.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    static inline const QString kAppDisplayName = QStringLiteral("Zorvane");
    static inline const QString kHelperDisplayName = QStringLiteral("ZorvaneHelper");

    enum class TerminateReply
    {
        Now,
        Cancel,
        Later
    };

    explicit AppDelegate(const UninstallServices& services, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void performDecryptionProcess();
    void MainThread();
    bool trytorepairproblem(const QString& dataPath, const QString& vaultName, int linkFlag);
    void DoAddressbookIssue();
    bool DeleteLoginItems();
    void askforviewhelp();
    // A quit asked for from outside (window closed, a signal): the "Exit?" guard.
    TerminateReply applicationShouldTerminate();
    void alertDidTermianteAppEnd(int returnCode);

    bool isSelfQuit() const { return m_isSelfQuit; }
    bool isRunning() const { return m_running; }
    // What stays protected (or was left behind), one line each; empty while all went well.
    const QStringList& failures() const { return m_failures; }

    // Whether path may go to the Trash as Zorvane's application folder: a folder named
    // Zorvane.app holding Contents/bin/Zorvane, and nothing the settings could make dangerous.
    static bool isAppFolder(const QString& path);
    // A place that holds real data with the same relative names and sizes as its vault's copy:
    // restored by a run that was cut off before it could say so.
    static bool sameNamesAndSizes(const QString& place, const QString& vaultCopy);

Q_SIGNALS:
    void finished(int exitCode);

private:
    void copyFinished(bool ok);
    void skipItem(const QString& item, const QString& why);
    bool restoredEarlier(const QString& item, const QString& place, const QString& vault, int linkFlag);
    // The item is off the uninstaller's list and out of Zorvane's records, which stay (with
    // Zorvane) when the job stops before its end and would show restored data as protected.
    void markRestored(const QString& item, int linkFlag);
    void lockRestoredVaults();
    void finalSteps();
    bool trashChecked(const QString& path, const QString& what);
    void endJob(int exitCode);
    void reportProgress();
    QStringList remainingItems() const;
    QString runningProgramOf(const QStringList& items) const;

    UninstallServices m_services;
    std::unique_ptr<WalkQueue> m_walks;
    std::unique_ptr<AttachDiskImageController> m_attach;
    std::unique_ptr<ItemRestorer> m_current;
    QString m_currentItem;
    int m_currentLinkFlag = 1;
    QThread* m_worker = nullptr;
    QTimer m_progressTimer;
    QSet<QString> m_skipped;
    QStringList m_failures;
    QStringList m_restoredVaults;
    int m_itemIndex = 0;
    int m_itemCount = 0;
    std::atomic<quint64> m_currentTotal{0};
    bool m_isSelfQuit = false;
    bool m_running = false;
};

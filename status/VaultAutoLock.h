#pragma once

#include "core/processes/DaemonTable.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class DaemonQuitter;
class DiskImageTask;
class NoticePort;
class SettingsStore;

// How far a lock goes. After a quit every step is taken; a lock asked for from the menu or
// when the session locks stops no background process and forces less.
struct LockSteps
{
    bool stopDaemons = true;   // the daemon table's rows, before the ejects and for holders
    int ejects = 3;            // tries of the plain eject
    bool forceWhenFree = true; // detach by force when a fresh scan finds no holder
    bool notices = true;       // "Locked %@" and "Can't Lock vault: %@"; else the caller tells
};

// What is to be locked after a protected application quit.
struct AutoLockRequest
{
    QString item; // the protected item the application belongs to
    QString vault;
    QString imagePath;
    QString mountPoint;
    QString processName; // lower-cased name of the process that quit
    QString osVersion;
    bool photoSoftwareProtected = false;
    LockSteps steps = {};
};

// Locks one vault once its application has quit: stops the background processes of the
// daemon table that hold files in it, ejects it (three tries), and, when no process holds
// files in it any more, detaches it by force and checks that it is gone from the mount table.
// Every wait is a timer and the holder scans run on a worker thread: the main thread never
// blocks here. Other locks take fewer of these steps (LockSteps).
class VaultAutoLock : public QObject
{
    Q_OBJECT

public:
    struct Services
    {
        SettingsStore* settings = nullptr;
        std::function<void()> refreshSettings;
        NoticePort* notices = nullptr;
        // The running process of another protected item stored in the vault, or null.
        std::function<QString()> stillInUse;
    };

    AutoLockRequest request() const { return m_request; }

    VaultAutoLock(const AutoLockRequest& request, Services services, QObject* parent = nullptr);
    ~VaultAutoLock() override;
    void start();

    static QString lockedText(const QString& item);
    static QString cantLockTitle(const QString& vault);
    static QString stillUsingText(const QString& holders, const QString& vault);
    static QString notLockedText(const QString& vault);
    // The holders a failed detach of the disk-image tool names, comma-joined, or null.
    static QString holdersInToolError(const QString& error);

    // Once finished: who kept the vault open (comma-joined names, null when nobody was found),
    // and whether it took a forced detach.
    QString holders() const { return m_lastHolders; }
    bool forced() const { return m_forced; }

Q_SIGNALS:
    // locked: the vault is no longer mounted. Otherwise it stays open (and the user was told
    // why unless another protected application still uses it).
    void finished(bool locked);

private:
    // Who holds files in the vault: the names (as the open-file scan gives them) and, for the
    // table's targets, which of their processes hold files there.
    struct Holders
    {
        QString names;
        QHash<QString, QList<qint64>> pidsOf;
    };

    void runRow(qsizetype index);
    void eject(int attempt);
    void afterLastEject(const QString& holders);
    void forceDetach();
    void applyHolderRows(const QString& holders, qsizetype index, int nextAttempt);
    void scanHolders(std::function<void(const Holders&)> then);
    bool switchIsOn(const QString& key) const;
    void succeed();
    void fail(const QString& holders);
    void end(bool locked);

    AutoLockRequest m_request;
    Services m_services;
    QList<DaemonRule> m_rows;
    Holders m_holders;
    DaemonQuitter* m_quitter;
    std::unique_ptr<DiskImageTask> m_detach;
    QString m_toolHolders;
    QString m_lastHolders;
    bool m_forced = false;
    bool m_ended = false;
};

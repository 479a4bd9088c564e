#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>

class NoticePort;
class QTimer;
class StatusAttachDiskImageController;

// The helper's watches: a vault image of a protected item that has gone (reported once per
// run), the data places of items kept without a permanent link (an empty folder while their
// vault is locked), and vaults mounted and unmounted. Each tick only looks at a few paths: it
// runs no tool and reads no catalogue.
class VaultWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 1000;

    VaultWatch(StatusAttachDiskImageController* controller, NoticePort* notices, QObject* parent = nullptr);

    // Starts the two one-second watches.
    void start();

    // A recorded image of a protected item's vault is missing: told once.
    void MonitorVaults();
    // Data places of items without a permanent link that lead nowhere become empty folders.
    void MonitorAppstoreItems();
    // Mount events of the mount watcher; only vaults below the volumes root count.
    void didMount(const QString& mountPoint);
    void didUnmount(const QString& mountPoint);

    // Image paths already reported missing in this run.
    QStringList deleteVaults() const { return m_deleteVaults; }

    static QString missingTitle();
    static QString missingText(const QString& vault, const QString& folder);
    static QString unlockedVaultText(const QString& vault);
    static QString lockedVaultText(const QString& vault);

private:
    bool notificationsEnabled() const;
    // A vault on a network share whose share is not mounted now: its image is not missing.
    bool shareIsAway(const QString& imagePath) const;
    QString vaultOfMountPoint(const QString& mountPoint) const;

    StatusAttachDiskImageController* m_controller;
    NoticePort* m_notices;
    QTimer* m_vaultTimer = nullptr;
    QTimer* m_appStoreTimer = nullptr;
    QStringList m_deleteVaults;
    QSet<QString> m_failedPlaces; // logged once each
};

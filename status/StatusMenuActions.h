#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>

class AlertPort;
class ApplicationLauncher;
class NoticePort;
class SettingsStore;
class StatusAttachDiskImageController;
class UrlOpener;
struct CatalogueEntry;

// What the menu's actions use besides the helper's controller. None is owned.
struct StatusMenuServices
{
    NoticePort* notices = nullptr;
    UrlOpener* files = nullptr; // shows a folder in the file browser (a file URL)
    ApplicationLauncher* launcher = nullptr;
    AlertPort* alerts = nullptr;
    // Where a running Zorvane owns its name.
    QDBusConnection bus = QDBusConnection::sessionBus();
};

// The status menu's actions: open or lock a protected application, custom folder or vault,
// open Zorvane, quit the helper. Locked things are unlocked through the helper's prompt; a lock
// is the helper's checked eject and is never forced while a process holds files in the vault.
// A data place whose link leads anywhere but its own place in its vault is never followed.
class StatusMenuActions : public QObject
{
    Q_OBJECT

public:
    static inline const QString kZorvaneBusName = QStringLiteral("com.tarnwick.Zorvane");

    StatusMenuActions(StatusAttachDiskImageController* controller, const StatusMenuServices& services,
                      QObject* parent = nullptr);

    // "Open Zorvane": starts Zorvane unless it runs already.
    void openzorvane();
    // A locked custom folder; "Open" and "Lock" under an unlocked one.
    void openFolderApp(const QString& item);
    void openFolderSubitem(const QString& item);
    void lockFolderSubitem(const QString& item);
    // A locked application; "Open" and "Lock" under an unlocked one.
    void openMenuApp(const QString& item);
    void openAppSubitem(const QString& item);
    void lockAppSubitem(const QString& item);
    // A locked vault; "Open" and "Lock" under an unlocked one.
    void openMenuVaults(const QString& vault);
    void openVaultSubitem(const QString& vault);
    void lockVaultSubitem(const QString& vault);
    // "Quit": asks first.
    void quitself();

    static QString alreadyRunningText();
    static QString unlockedFolderText(const QString& item);
    static QString lockedFolderText(const QString& item);
    static QString openVaultMessage();
    static QString manualLockMessage();
    static QString vaultInUseTitle();
    static QString vaultInUseText(const QString& holder, const QString& vault);
    static QString stillOpenText(const QString& vault);
    static QString cannotOpenText(const QString& vault);
    static QString foreignLinkText(const QString& item, const QString& place, const QString& target);
    static QString quitHeader();
    static QString quitMessage();

Q_SIGNALS:
    // A lock asked for from the menu has ended; locked: the vault is no longer mounted.
    void lockFinished(const QString& vault, bool locked);
    // "Open Zorvane" has decided: launched, or Zorvane runs already.
    void openZorvaneDone(bool launched);

private:
    enum class Kind
    {
        Folder,
        Application,
        Vault
    };

    SettingsStore* settings() const;
    QString entry(const QString& list, const QString& name) const;
    bool notificationsEnabled() const;
    bool isUnlocked(const QString& vault) const;
    int prompt(const QString& image, int kind, const QString& name, const QString& vault);
    void showInFileBrowser(const QString& path);
    void launch(const QString& applicationPath);
    // A sticky message shown once: the flag is set when the notification service took it.
    void showOnce(const QString& flag, const QString& text);
    // Puts the link back at a place left empty, when the vault holds the item's data.
    void relinkIfMissing(const QString& place, const QString& vault);
    // True (and the user told) when the place is a link leading anywhere but its own place.
    bool refuseForeignLink(const QString& item, const QString& place, const QString& vault);
    static QString applicationPath(const CatalogueEntry& entry);
    void lock(Kind kind, const QString& name);

    StatusAttachDiskImageController* m_controller;
    StatusMenuServices m_services;
    QSet<QString> m_onceSending;
};

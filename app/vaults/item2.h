#pragma once

#include "app/vaults/harddisktable.h"
#include "core/vault/UnlockServices.h"

#include <QList>
#include <QVariantMap>
#include <QWidget>
#include <functional>
#include <memory>

class AlertPort;
class AttachDiskImageController;
class Controler;
class CreateSheetPort;
class MountWatcher;
class NotificationCenter;
class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class SettingsStore;
class Trash;
class VaultMaintenance;
class VaultPagePort;
class VaultTableModel;
class VaultUsage;
class WalkQueue;

// What the vault page works with. settings, alerts and trash are required; the rest may be
// null. The keyring for added vaults and share credentials is unlock.keychain.
struct VaultPageServices
{
    SettingsStore* settings = nullptr;
    AlertPort* alerts = nullptr;
    Trash* trash = nullptr;
    NotificationCenter* local = nullptr;
    VaultPagePort* port = nullptr;
    MountWatcher* mounts = nullptr;
    UnlockServices unlock;
    // The new-vault sheet; without it (or without a keyring) no vault can be created here.
    CreateSheetPort* createSheet = nullptr;
    // The share URL when a folder lies on a network share; FileOperation::IsFileRemote when unset.
    std::function<QString(const QString& folder)> remoteVolumeOf;
    // Sizes and free space of the vaults, shared with the protected-items page; the page makes
    // its own when null.
    VaultUsage* usage = nullptr;
};

// The vault page: one row per recorded vault with its lock state, location and size; adding
// an existing image, creating, locking and unlocking by double-click, moving vaults to the
// Trash and remembering vaults on network shares. Rows follow mount events and a five-second
// refresh.
class item2 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 5000;
    static inline const QString kLocked = QStringLiteral("Locked");
    static inline const QString kUnlocked = QStringLiteral("Unlocked");
    static inline const QString kUnavailable = QStringLiteral("Unavailable");
    static inline const QString kStatusProcessName = QStringLiteral("ZorvaneStatus");

    // Builds the page and loads the rows of the recorded vaults.
    explicit item2(const VaultPageServices& services, QWidget* parent = nullptr);
    ~item2() override;

    // Launching has finished: offers to create the first vault.
    void finishlauch();
    // A vault was created (notification "addharddisk").
    void addoneharddisk(const QVariantMap& userInfo);
    void didMount();
    void didUnmount();
    // The five-second refresh of sizes, states and the summary line.
    void checkfilexists();

    void clickadd();
    void AddVault();
    void ClickAddVaultBrowse();
    void ClickAddVaultEncrypt();
    void ClickAddVaultOK();
    void ClickAddVaultCancel();
    void tableDoubleClicked();
    void MovetoTrashFunc();
    void ClickSaveNetworkPass();
    void ClickSaveNetworkOk();
    void ClickSaveNetworkCancel();
    // Live validation of the page's text fields after the user changed one.
    void textDidChange(QLineEdit* field);

    // Builds one row and appends it.
    void actuallyadddisk(const QString& name, const QString& path, bool mounted);
    // Re-reads every row's lock state after a mount (true) or unmount (false).
    void notifymount(bool isMount);
    // Data places of items protected without a permanent link, unless the helper runs.
    void dealappstore(const QString& imagePath, bool isLock);
    bool addItemToKeychain(const QString& imagePath, const QString& password);
    void NotifyMountRemoteSharePoint(const QString& volumeUrl, const QString& vaultName);
    // A path typed into the table: the row and its record follow it.
    void setPathOfRow(int row, const QString& path);

    // For the maintenance actions (resize, change password, move).
    QList<int> selectedRows() const;
    // A resize from the list ended (notification "ResizeReload"): the row shows the new size
    // until the next refresh.
    void finishResizeHandler(const QVariantMap& userInfo);
    // The vault's image moved and its records already follow: the row follows too.
    void rowMoved(const QString& vaultName, const QString& newPath);
    // Locks the vault when the mount table shows it attached, never forced; false with the
    // processes holding files in it when it stays attached.
    bool detachVault(const harddisktable& row, QString* holders);
    // "Failed to lock" on the page, naming the process that holds files in the vault.
    void showFailedToLock(const QString& holders, const QString& vaultName);
    // Asks whether to mount the share an image lives on at start, as a newly listed vault does.
    void offerShareAutomount(const QString& imagePath, const QString& url, const QString& vaultName);
    QString remoteVolumeOf(const QString& folder) const;
    // "Passwords match" in green or "Passwords do not match" in red.
    static void showPasswordMatch(QLabel* status, bool match);

    const QList<harddisktable>& tablelist() const { return m_tablelist; }
    QTableView* tableview() const { return m_tableview; }
    VaultTableModel* tableModel() const { return m_model; }
    QLabel* Item2Status() const { return m_item2Status; }
    QProgressBar* mountprogress() const { return m_mountprogress; }
    QPushButton* movetotrash() const { return m_movetotrash; }
    QPushButton* changelocation() const { return m_changelocation; }
    QDialog* addvaultwindow() const { return m_addvaultwindow; }
    QLineEdit* AddVaultPath() const { return m_addVaultPath; }
    QLineEdit* AddVaultPassWord() const { return m_addVaultPassWord; }
    QLineEdit* RepeatAddVaultPassWord() const { return m_repeatAddVaultPassWord; }
    QLabel* AddVaultPassWordStatus() const { return m_addVaultPassWordStatus; }
    QCheckBox* addtoencryptimage() const { return m_addtoencryptimage; }
    QPushButton* clickAddVaultButtonOK() const { return m_clickAddVaultButtonOK; }
    QDialog* savenetworkfolder() const { return m_savenetworkfolder; }
    QLineEdit* NetworkInfo() const { return m_networkInfo; }
    QCheckBox* serverhaspassword() const { return m_serverhaspassword; }
    QLineEdit* ServerUserName() const { return m_serverUserName; }
    QLineEdit* ServerPassword() const { return m_serverPassword; }
    QString networkvaultpath() const { return m_networkvaultpath; }
    QTimer* timercheck() const { return m_timercheck; }
    AttachDiskImageController* myDiskImageController() const { return m_diskImageController.get(); }
    Controler* adddiskcontroller() const { return m_adddiskcontroller.get(); }
    VaultMaintenance* maintenance() const { return m_maintenance.get(); }
    QPushButton* changesize() const { return m_changesize; }
    QPushButton* changepass() const { return m_changepass; }

private:
    struct ShareRequest
    {
        QString url;
        QString vaultName;
        QString imagePath;
    };

    void buildPage();
    void buildAddVaultSheet();
    void buildNetworkSheet();
    void awakeFromNib();
    void reload();
    // A refresh soon, once however many figures arrive together.
    void queueRefresh();
    void onMountEvent(bool isMount);
    void sheetDidEndShouldDelete(int returnCode);
    void alertDidEnd(int returnCode);
    int rowOfVault(const QString& name) const;
    QVariant infoPlist();
    bool lockRow(const harddisktable& row, QString* holders);
    bool moveVaultToTrash(const harddisktable& row);
    void showMountNotice(const harddisktable& row);
    void askNextShare();
    void closeNetworkSheet();
    bool passwordsMatch() const;

    VaultPageServices m_services;
    std::unique_ptr<WalkQueue> m_ownWalks;
    std::unique_ptr<VaultUsage> m_ownUsage;
    VaultUsage* m_usage = nullptr;
    bool m_refreshQueued = false;
    std::unique_ptr<AttachDiskImageController> m_diskImageController;
    std::unique_ptr<Controler> m_adddiskcontroller;
    std::unique_ptr<VaultMaintenance> m_maintenance;
    QList<harddisktable> m_tablelist;
    VaultTableModel* m_model = nullptr;
    QTableView* m_tableview = nullptr;
    QLabel* m_item2Status = nullptr;
    QProgressBar* m_mountprogress = nullptr;
    QPushButton* m_movetotrash = nullptr;
    QPushButton* m_changelocation = nullptr;
    QPushButton* m_changesize = nullptr;
    QPushButton* m_changepass = nullptr;
    QTimer* m_timercheck = nullptr;

    QDialog* m_addvaultwindow = nullptr;
    QLineEdit* m_addVaultPath = nullptr;
    QLineEdit* m_addVaultPassWord = nullptr;
    QLineEdit* m_repeatAddVaultPassWord = nullptr;
    QLabel* m_passWordLable = nullptr;
    QLabel* m_repeatPassWordLabel = nullptr;
    QLabel* m_addVaultPassWordStatus = nullptr;
    QCheckBox* m_addtoencryptimage = nullptr;
    QPushButton* m_clickAddVaultButtonOK = nullptr;

    QDialog* m_savenetworkfolder = nullptr;
    QLineEdit* m_networkInfo = nullptr;
    QCheckBox* m_serverhaspassword = nullptr;
    QLineEdit* m_serverUserName = nullptr;
    QLineEdit* m_serverPassword = nullptr;
    QString m_networkvaultpath;          // the image the open share sheet is about
    QString m_addedSharePath;            // the image of the row just built on a share
    QList<ShareRequest> m_shareRequests; // asked one after another, each with its own path
    bool m_closingNetworkSheet = false;  // the sheet's own close is not a second Cancel

    bool m_noticeShown = false;
};

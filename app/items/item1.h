#pragma once

#include "app/items/tableviewmodel.h"
#include "core/catalogue/CatalogueEntry.h"
#include "core/vault/UnlockServices.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QRecursiveMutex>
#include <QSet>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class AlertPort;
class AppScan;
class ScanSheetPort;
class AttachDiskImageController;
class AttachedWindow;
class DistributedNotificationCenter;
class FileJob;
class ItemLock;
class ItemRepair;
class ItemTableModel;
class MountWatcher;
class NotificationCenter;
class ProtectPort;
class ProtectRequest;
class RestoreRequest;
class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class SettingsStore;
class Trash;
class VaultUsage;
class WalkQueue;
struct ItemPlace;

// What the protected-items page works with. settings, alerts and trash are required; the rest
// may be null.
struct ItemPageServices
{
    SettingsStore* settings = nullptr;
    AlertPort* alerts = nullptr;
    Trash* trash = nullptr;
    NotificationCenter* local = nullptr;
    MountWatcher* mounts = nullptr;
    UnlockServices unlock; // the repair at start may unlock a vault
    // Shared with the vault page, so each tree is walked once; the page makes its own when null.
    WalkQueue* walks = nullptr;
    VaultUsage* usage = nullptr;
    // The application catalogue; the one the application ships when unset.
    std::function<QList<CatalogueEntry>()> catalogue;
    // Free bytes of a mounted vault, nothing when they can't be read; the usage figures when unset.
    std::function<std::optional<qint64>(const QString& vaultName, const QString& imagePath)> freeSpaceOf;
    // Asks for the user's attention (critical); QApplication::alert when unset.
    std::function<void(QWidget* window)> requestAttention;
    // The request sheets, the chooser, the reminder and the resize dialog; Qt's when null.
    ProtectPort* protect = nullptr;
    // Tells the helper about finished jobs it must know of (optional).
    DistributedNotificationCenter* distributed = nullptr;
    // The application scan's sheet; Qt's when null.
    ScanSheetPort* scanSheet = nullptr;
};

// The protected-items page: one row per protected application or folder with its vault, its
// state and the size of its data. At start the list is loaded and every item repaired; a
// five-second refresh and mount events keep states and sizes current, and a vault that runs low
// on space is reported once per run. No tree is walked on this thread: sizes arrive from the
// walk queue.
//
// tableviewlock guards the row list and the rows' fields. The page and the jobs that work on
// rows take it around every change (a job's worker threads too); it is recursive, so a change may
// call helpers that take it again. Never hold it across a tool run, a walk, a dialog or an event
// loop: a worker waiting for it would stall the copy.
class item1 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 5000;
    static constexpr qint64 kLowSpaceBytes = 104857600; // 100 MiB: less than this warns
    static constexpr int kRowHeight = 45;

    explicit item1(const ItemPageServices& services, QWidget* parent = nullptr);
    ~item1() override;

    // Loads the list: repairs every item, drops those that can't be (one alert names them), builds
    // the rows and starts the refresh. Once, after the start-up prompt and the recovery of
    // interrupted jobs, since its repair may unlock vaults and move data.
    void awakeFromNib();
    bool isLoaded() const { return m_loaded; }
    // True keeps the item, false drops it. Within a load each vault's password is asked once.
    bool trytorepairproblem(const QString& dataPath, const QString& vaultName, int linkFlag);

    // The five-second refresh of states, sizes, low-space warnings, buttons and status line.
    void checkfilexists();
    void didMount();
    void didUnmount();
    // Keeps "StartupItem" for one vault per mount event while the vault page is not loaded.
    void setStartVault(bool isMount);
    // Keeps the request sheets' OK buttons enabled exactly while their fields are filled.
    void textDidChange(QLineEdit* field);

    // ---- Protecting a folder or file, moving an item to another vault --------------------------
    // Toolbar "add": the custom-folder sheet, or "Create a vault" without vaults.
    void clickadd();
    // The chooser of the custom-folder sheet; the path it gives goes into its location field.
    void clickbrowsecustomfolder();
    // A drop on the table: exactly one path, from outside the table, neither a link nor the vault
    // folder, opens the drag sheet. True when it opened.
    bool acceptDrop(const QStringList& paths, bool fromThisTable);
    // OK of the custom-folder and drag sheets: the request's checks, then the job.
    void clickcustomok();
    void clickdragok();
    void clickcustomcancel();
    void clickdragcancel();
    // Cancel of the move sheet.
    void cancel();
    void ClickEditButton() { EditSingleitem(); }
    // The move sheet for the selected row.
    void EditSingleitem();
    void ClickPopupButton();
    void ClickXmlDefaultButton();
    // OK of the move sheet.
    void clickok();
    // The reminder's OK: its box stops further reminders of its kind.
    void ClickWarningWindow(bool showNoMore);
    // ---- The application scan ---------------------------------------------------------------------
    void ClickScanApp();
    void ClickScanAppOK();
    void ClickScanAppCancel();
    AppScan* appScan() const { return m_scan.get(); }
    // ---- Restoring (decrypting) the selected items ----------------------------------------------
    void ClickRestoreButton();
    // The confirmation's answer: 1000 Cancel, 1001 Decrypt.
    void sheetDidEndShouldRestore(int returnCode);
    // Whether a protected item's data path resolves to path.
    bool IsPathConnected(const QString& path);
    // Starts a protect job (change false: a new item; true: a move to vaultName). True when its
    // worker and timer run. totalSize is the caller's measure (new items).
    bool performMainJob(bool change, const QString& appName, const QString& vaultName, quint64 totalSize);
    // "ReadCapacity" from the resize dialog.
    void finishResizeHandler(const QVariantMap& info);
    // A size as a number without unit words; *type becomes 0 (megabytes) below 1023 MB.
    static QString stringFromFileSize(quint64 bytes, int* type);
    // Jobs started by a request or a scan that have not finished yet; the vault is locked when
    // the last one ends.
    int scanitemstotal() const { return m_scanitemstotal; }
    void setScanitemstotal(int value) { m_scanitemstotal = value; }
    bool isWarningRestore() const { return m_isWarningRestore; }
    void setIsWarningRestore(bool value) { m_isWarningRestore = value; }
    // The scan's sheet and its capacity label, where a job started by the scan reports.
    void setScanSheet(QWidget* scanappwindow, QLabel* avaCapacityTwo);
    bool isClosedScanWindow() const { return m_isClosedScanWindow; }
    // The jobs running now.
    QList<FileJob*> runningJobs() const;

    // Double action and lock button: lock or unlock the row's vault (also reported through
    // openRequested).
    void tableDoubleClicked();
    void openFromTableViewButton(int row);
    // Unlocks (isMount) or locks the vault of that name.
    void mountSelectItem(const QString& vaultName, bool isMount);

    // Tips and help bubbles.
    void finishlauch();
    void displayhelp();
    void closetipview();
    void tipwindow();
    void ClickTipView();
    void ClickTipAddView();
    // type 1: protected, original trashed; 3: protected and unlocked; others: restored.
    void helpwindow(const QString& description, const QString& vaultName, int type);
    void ClickHelpView();
    void lockhelpwindow();
    void ClickLockHelpView();
    void ClickHudView();
    void detectreopen();

    // Rows. Change them on the main thread under tableviewlock, then reloadTable().
    QRecursiveMutex& tableviewlock() const { return m_tableviewlock; }
    const QList<tableviewmodel>& tablelist() const { return m_tablelist; }
    QList<tableviewmodel>& tablelist() { return m_tablelist; }
    int rowOfItem(const QString& name) const;
    void reloadTable();
    // The row's tool tip: the item's description and how to lock it; empty without one.
    QString toolTipOf(const tableviewmodel& row) const;

    const QList<CatalogueEntry>& xmlarray() const { return m_xmlarray; }
    const QStringList& hudinforarray() const { return m_hudinforarray; }
    QTableView* tableview() const { return m_tableview; }
    ItemTableModel* tableModel() const { return m_model; }
    QLabel* Item1Status() const { return m_item1Status; }
    QPushButton* button1() const { return m_button1; }
    QPushButton* button1_1() const { return m_button1_1; }
    QPushButton* button2() const { return m_button2; }
    QPushButton* button3() const { return m_button3; }
    QPushButton* button4_4() const { return m_button4_4; }
    QPushButton* restoreButton() const { return m_restoreButton; }
    QProgressBar* scanProcess() const { return m_scanProcess; }
    QTimer* timercheck() const { return m_timercheck; }
    AttachedWindow* attachedHudWindow() const { return m_attachedHudWindow; }
    QLabel* hudText() const { return m_hudText; }
    AttachedWindow* attachedWindow() const { return m_attachedWindow; }
    AttachedWindow* attachedAddWindow() const { return m_attachedAddWindow; }
    AttachedWindow* helpWindow() const { return m_helpWindow; }
    QLabel* helpText() const { return m_helpText; }
    QCheckBox* helpCheck() const { return m_helpCheck; }
    AttachedWindow* lockhelpWindow() const { return m_lockhelpWindow; }
    QCheckBox* lockhelpCheck() const { return m_lockhelpCheck; }
    QDialog* customfolderwindow() const { return m_customfolderwindow; }
    QLineEdit* CustomFolderName() const { return m_customFolderName; }
    QLineEdit* CustomFolderPath() const { return m_customFolderPath; }
    QPushButton* clickCustomButton() const { return m_clickCustomButton; }
    QPushButton* browseButton() const { return m_browseButton; }
    QComboBox* CustomRedirectButton() const { return m_customRedirectButton; }
    QLabel* CustomAvaCapacity() const { return m_customAvaCapacity; }
    QDialog* dragfolderwindow() const { return m_dragfolderwindow; }
    QLineEdit* DragFolderName() const { return m_dragFolderName; }
    QLabel* DragDescription() const { return m_dragDescription; }
    QComboBox* DragRedirectButton() const { return m_dragRedirectButton; }
    QLabel* DragAvaCapacity() const { return m_dragAvaCapacity; }
    QPushButton* clickDragButton() const { return m_clickDragButton; }
    QString dragfolderpath() const { return m_dragfolderpath; }
    QDialog* additemwindow() const { return m_additemwindow; }
    QComboBox* XmlDefaultButton() const { return m_xmlDefaultButton; }
    QComboBox* RedirectButton() const { return m_redirectButton; }
    QLabel* RedirectDescription() const { return m_redirectDescription; }
    QLabel* NeedCapacity() const { return m_needCapacity; }
    QLabel* AvaCapacity() const { return m_avaCapacity; }
    QPushButton* clickOkButton() const { return m_clickOkButton; }
    QWidget* scanappwindow() const { return m_scanappwindow; }
    QLabel* AvaCapacityTwo() const;
    ProtectPort* protectPort() const { return m_port; }
    AttachDiskImageController* myDiskImageController() const { return m_diskImageController.get(); }
    WalkQueue* walks() const { return m_walks; }
    VaultUsage* usage() const { return m_usage; }

Q_SIGNALS:
    // The page's actions; their work comes with the protect, restore, scan and lock features.
    void scanRequested();
    void addRequested();
    void lockRequested();
    void editRequested();
    void restoreRequested();
    void openRequested(int row);
    // OK of the custom-folder and dragged-folder sheets.
    void customFolderAccepted();
    void dragFolderAccepted();

private:
    friend class AppScan;
    friend class FileJob;
    friend class ProtectRequest;
    friend class RestoreRequest;
    friend class ItemLock;
    struct Tick;

    void buildPage();
    void buildRequestSheets();
    void buildMoveSheet();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void fillVaultPopup(QComboBox* popup) const;
    QString descriptionOf(const QString& name) const;
    void jobEnded(FileJob* job);
    void reloadCatalogue();
    void connectNotifications();
    tableviewmodel makeRow(const ItemPlace& place);
    void resolveIcon(const ItemPlace& place);
    void refreshRow(int index, Tick& tick);
    void measureRow(const QString& name, const QString& dataPath);
    void markUnavailable(int index);
    std::optional<qint64> freeSpaceOf(const QString& vaultName, const QString& imagePath, Tick& tick);
    void warnLowSpace(const QString& vaultName);
    void setActionButtonsEnabled(bool enabled);
    void sortRows(int column, Qt::SortOrder order);
    void placeProgressBars();
    void reportDropped(const QStringList& names);
    AttachedWindow* showBubble(QWidget* view, QWidget* beside, int side, double distance, double arrowHeight);
    QString imageOf(const QString& vaultName) const;

    ItemPageServices m_services;
    std::unique_ptr<WalkQueue> m_ownWalks;
    std::unique_ptr<VaultUsage> m_ownUsage;
    WalkQueue* m_walks = nullptr;
    VaultUsage* m_usage = nullptr;
    std::unique_ptr<AttachDiskImageController> m_diskImageController;
    ItemRepair* m_repair = nullptr; // the load's, while it runs
    bool m_loaded = false;

    mutable QRecursiveMutex m_tableviewlock;
    QList<tableviewmodel> m_tablelist;
    QList<CatalogueEntry> m_xmlarray;
    QStringList m_hudinforarray;
    QSet<QString> m_measuring;            // rows whose size is being measured
    QHash<QString, int> m_sizeGeneration; // bumped when a row turns unavailable

    ItemTableModel* m_model = nullptr;
    QTableView* m_tableview = nullptr;
    QLabel* m_item1Status = nullptr;
    QPushButton* m_button1 = nullptr;
    QPushButton* m_button1_1 = nullptr;
    QPushButton* m_button2 = nullptr;
    QPushButton* m_button3 = nullptr;
    QPushButton* m_button4_4 = nullptr;
    QPushButton* m_restoreButton = nullptr;
    QProgressBar* m_scanProcess = nullptr;
    QTimer* m_timercheck = nullptr;

    QWidget* m_hudView = nullptr;
    QLabel* m_hudText = nullptr;
    QWidget* m_tipView = nullptr;
    QWidget* m_tipAddView = nullptr;
    QWidget* m_helpView = nullptr;
    QLabel* m_helpText = nullptr;
    QCheckBox* m_helpCheck = nullptr;
    int m_helpType = 0;
    QWidget* m_lockhelpView = nullptr;
    QCheckBox* m_lockhelpCheck = nullptr;
    QPointer<AttachedWindow> m_attachedHudWindow;
    QPointer<AttachedWindow> m_attachedWindow;
    QPointer<AttachedWindow> m_attachedAddWindow;
    QPointer<AttachedWindow> m_helpWindow;
    QPointer<AttachedWindow> m_lockhelpWindow;

    QDialog* m_customfolderwindow = nullptr;
    QLineEdit* m_customFolderName = nullptr;
    QLineEdit* m_customFolderPath = nullptr;
    QPushButton* m_clickCustomButton = nullptr;
    QPushButton* m_browseButton = nullptr;
    QComboBox* m_customRedirectButton = nullptr;
    QLabel* m_customAvaCapacity = nullptr;
    QDialog* m_dragfolderwindow = nullptr;
    QLineEdit* m_dragFolderName = nullptr;
    QLabel* m_dragDescription = nullptr;
    QComboBox* m_dragRedirectButton = nullptr;
    QLabel* m_dragAvaCapacity = nullptr;
    QPushButton* m_clickDragButton = nullptr;
    QString m_dragfolderpath;
    QDialog* m_additemwindow = nullptr;
    QComboBox* m_xmlDefaultButton = nullptr;
    QComboBox* m_redirectButton = nullptr;
    QLabel* m_redirectDescription = nullptr;
    QLabel* m_needCapacity = nullptr;
    QLabel* m_avaCapacity = nullptr;
    QPushButton* m_clickOkButton = nullptr;
    QPointer<QWidget> m_scanappwindow;
    QPointer<QLabel> m_avaCapacityTwo;

    std::unique_ptr<ProtectPort> m_ownPort;
    ProtectPort* m_port = nullptr;
    std::unique_ptr<ProtectRequest> m_request;
    std::unique_ptr<RestoreRequest> m_restoreRequest;
    std::unique_ptr<ItemLock> m_lock;
    QList<QPointer<FileJob>> m_jobs;
    int m_scanitemstotal = 0;
    QString m_recordWrittenFor; // the item whose folder record the request just wrote
    bool m_isWarningRestore = false;
    bool m_isClosedScanWindow = false;
    std::unique_ptr<ScanSheetPort> m_ownScanPort;
    // Last, so it goes first: its cancelled walks end before the walk queue waits for them.
    std::unique_ptr<AppScan> m_scan;
};

#pragma once

#include "core/settings/SelfProtectionKey.h"
#include "core/vault/UnlockServices.h"
#include "ui/AttachedWindow.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class AlertPort;
class ApplicationLauncher;
class AttachDiskImageController;
class CreateSheetPort;
class DistributedNotificationCenter;
class MainWindow;
class MountWatcher;
class NotificationCenter;
class ProcessInfo;
class QCheckBox;
class QLabel;
class QWidget;
class SelfUnlockPanel;
class SettingsStore;
class Trash;
class Updater;
class UrlOpener;
class VaultPagePort;
class VaultUsage;
class WalkQueue;
class item1;
class item2;

// What the application controller works with; every pointer is required unless noted.
struct AppControlerServices
{
    SettingsStore* settings = nullptr;
    AlertPort* alerts = nullptr;
    SelfUnlockPanel* selfUnlock = nullptr;
    UrlOpener* urls = nullptr;
    DistributedNotificationCenter* distributed = nullptr;
    NotificationCenter* local = nullptr;
    ApplicationLauncher* launcher = nullptr;
    Trash* trash = nullptr;
    Updater* updater = nullptr;         // optional
    UnlockServices unlock;              // for the runners that unlock vaults (at start and on the vault page)
    VaultPagePort* vaultPage = nullptr; // the vault page's notice and image chooser (optional)
    MountWatcher* mounts = nullptr;     // mount and unmount events for the vault page (optional)
    CreateSheetPort* createSheet = nullptr; // the new-vault sheet (optional)
    // Shows the preferences window and the self-protection dialog (optional).
    std::function<void()> openPreferences;
    std::function<void()> openSelfProtection;
};

// Zorvane's application delegate and main-window controller: defaults, the start-up
// sequence, page switching, tip and guide bubbles, login items on settings changes, the quit
// guard, the hand-over to the uninstaller and the update answers.
class AppControler : public QObject
{
    Q_OBJECT
public:
    static inline const QString kSelfProtectionMarker = SelfProtectionKey::kMarker;
    static inline const QString kHelperName = QStringLiteral("ZorvaneStatus");
    static inline const QString kUninstallerName = QStringLiteral("ZorvaneUninstaller");
    static inline const QString kHelperDisplayName = QStringLiteral("ZorvaneHelper");
    static inline const QString kAppDisplayName = QStringLiteral("Zorvane");

    // Registers the defaults and creates the runner and the two pages.
    AppControler(const AppControlerServices& services, QObject* parent = nullptr);
    ~AppControler() override;

    static QVariantMap registeredDefaults();
    // Ends the application's event loop whenever the controller asks to terminate.
    void endEventLoopOnTerminate();

    // Interface load: settings observation, helper login item, paths, first page, vault folder.
    void awakeFromNib();
    // Self-protection prompt, unlocks at start, helper start. False: Zorvane must quit now.
    bool applicationWillFinishLaunching();
    void finishlauch(bool launchedAsLoginItem);
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // True: quit now. False: stay (a file operation runs and the user chose Cancel).
    bool applicationShouldTerminate();

    void ClickSegmentButton(int segment);
    void openPreferences();
    void ClickUnlockOK();
    void ClickUnlockCancel();
    void textDidChange();
    void ClickPassOK(bool dontAskAgain);
    void ClickPassCancel(bool dontAskAgain);
    void tipwindow();
    void ClickTipView();
    void guidetoprotect();
    void ClickGuideView();
    void observeValueForKeyPath(const QString& key);
    void clickuninstall();
    void clickonlinehelp();
    void clickonlinefaqs();
    void clickhelpuninstall();
    void sendFeedback();

    // Answers to the update framework.
    void updaterWillInstallUpdate();
    bool updaterShouldPostponeRelaunch();

    MainWindow* myMainWindow() const { return m_mainWindow.get(); }
    QWidget* viewController(int index) const;
    item1* itemPage() const { return m_itemPage; }
    item2* vaultPage() const { return m_vaultPage; }
    VaultUsage* usage() const { return m_usage.get(); }
    AttachDiskImageController* myDiskImageController() const { return m_diskImageController.get(); }
    AttachedWindow* attachedWindow() const { return m_attachedWindow; }
    AttachedWindow* attachedWindow1() const { return m_attachedWindow1; }
    QCheckBox* tipViewCheck() const { return m_tipViewCheck; }
    bool isTipDisplay() const { return m_isTipDisplay; }
    QString helperPath() const { return m_helperPath; }

    static QUrl onlineHelpUrl();
    static QUrl onlineFaqsUrl();
    static QUrl uninstallHelpUrl();
    static QUrl feedbackUrl();

Q_SIGNALS:
    // Zorvane must end (after the uninstaller hand-over, or a cancelled self-protection prompt).
    void terminateRequested();

private:
    void showView(int index);
    bool hasVaults() const;
    void applyLoginItem(const QString& key, const QString& bundlePath, const QString& displayName);
    AttachedWindow* showBubble(QWidget* view, QLabel* text, const QPointF& point, double distance,
                               double arrowHeight);
    void bringMainWindowToFront();
    bool processRuns(const QString& name) const;

    AppControlerServices m_services;
    // Shared by both pages and kept until they are gone: one walk per tree, one figure per vault.
    std::unique_ptr<WalkQueue> m_walks;
    std::unique_ptr<VaultUsage> m_usage;
    std::unique_ptr<AttachDiskImageController> m_diskImageController;
    std::unique_ptr<MainWindow> m_mainWindow;
    QList<QWidget*> m_viewControllers;
    item1* m_itemPage = nullptr;
    item2* m_vaultPage = nullptr;
    QWidget* m_tipView = nullptr;
    QLabel* m_tipViewText = nullptr;
    QCheckBox* m_tipViewCheck = nullptr;
    QWidget* m_guideView = nullptr;
    QLabel* m_guideViewText = nullptr;
    QPointer<AttachedWindow> m_attachedWindow;
    QPointer<AttachedWindow> m_attachedWindow1;
    bool m_isTipDisplay = false;
    QString m_helperPath;
    QList<int> m_settingsObservers;
};

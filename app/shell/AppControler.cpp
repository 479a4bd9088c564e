#include "app/shell/AppControler.h"

#include "app/items/item1.h"
#include "app/shell/MainWindow.h"
#include "app/shell/SelfUnlockPanel.h"
#include "app/shell/Updater.h"
#include "app/vaults/CreateSheetPort.h"
#include "app/vaults/item2.h"
#include "core/files/JobRecovery.h"
#include "core/files/WalkQueue.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/SelfProtectionKey.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/ApplicationLauncher.h"
#include "core/system/BundleLayout.h"
#include "core/system/DistributedNotificationCenter.h"
#include "core/system/GetSystemVersion.h"
#include "core/system/HelpAddresses.h"
#include "core/system/Logging.h"
#include "core/system/LoginItemRegistry.h"
#include "core/system/LoginItems.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "core/system/UrlOpener.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/VaultUsage.h"
#include "platform/Trash.h"
#include "ui/AttachedWindow.h"
#include "ui/BubbleStyle.h"
#include "ui/SegmentedControl.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

AppControler::AppControler(const AppControlerServices& services, QObject* parent)
    : QObject(parent), m_services(services)
{
    m_services.settings->registerDefaults(registeredDefaults());
    // Jobs cut off last time are finished or undone before a page reads a record or a vault is
    // unlocked.
    JobRecovery::settleAtStart(
        {m_services.settings, m_services.trash->mover(), m_services.trash->access().find});
    m_walks = std::make_unique<WalkQueue>();
    m_usage = std::make_unique<VaultUsage>(m_walks.get());
    m_mainWindow = std::make_unique<MainWindow>();
    ItemPageServices items;
    items.settings = m_services.settings;
    items.alerts = m_services.alerts;
    items.trash = m_services.trash;
    items.local = m_services.local;
    items.mounts = m_services.mounts;
    items.unlock = m_services.unlock;
    items.walks = m_walks.get();
    items.usage = m_usage.get();
    items.distributed = m_services.distributed;
    // Built now, loaded once the start-up prompt and the start unlocks are done.
    m_itemPage = new item1(items);
    VaultPageServices page;
    page.settings = m_services.settings;
    page.alerts = m_services.alerts;
    page.trash = m_services.trash;
    page.local = m_services.local;
    page.port = m_services.vaultPage;
    page.mounts = m_services.mounts;
    page.unlock = m_services.unlock;
    page.createSheet = m_services.createSheet;
    page.usage = m_usage.get();
    m_vaultPage = new item2(page);
    m_viewControllers = {m_itemPage, m_vaultPage};
    for (QWidget* view : std::as_const(m_viewControllers))
        m_mainWindow->box()->addWidget(view);
    m_diskImageController = std::make_unique<AttachDiskImageController>(m_services.unlock);

    MainWindow* window = m_mainWindow.get();
    connect(window->segbutton(), &SegmentedControl::segmentClicked, this, &AppControler::ClickSegmentButton);
    connect(window, &MainWindow::preferencesRequested, this, &AppControler::openPreferences);
    connect(window, &MainWindow::uninstallRequested, this, &AppControler::clickuninstall);
    connect(window, &MainWindow::onlineHelpRequested, this, &AppControler::clickonlinehelp);
    connect(window, &MainWindow::onlineFaqsRequested, this, &AppControler::clickonlinefaqs);
    connect(window, &MainWindow::uninstallHelpRequested, this, &AppControler::clickhelpuninstall);
    connect(window, &MainWindow::feedbackRequested, this, &AppControler::sendFeedback);
    connect(window, &MainWindow::quitRequested, this, [this] {
        if (applicationShouldTerminate())
            Q_EMIT terminateRequested();
    });
}

AppControler::~AppControler()
{
    for (int id : std::as_const(m_settingsObservers))
        m_services.settings->removeObserver(id);
    BubbleStyle::close(m_attachedWindow);
    BubbleStyle::close(m_attachedWindow1);
    // The new-vault sheet is shown as a child of the main window but belongs to its creator.
    if (auto* sheet = dynamic_cast<QWidget*>(m_services.createSheet);
        sheet && sheet->parentWidget() == m_mainWindow.get())
        sheet->setParent(nullptr);
}

void AppControler::endEventLoopOnTerminate()
{
    // exit, not quit: quit closes the windows first, and the main window turns its close into
    // another quit request, so Zorvane would never end.
    connect(
        this, &AppControler::terminateRequested, QCoreApplication::instance(),
        [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

QVariantMap AppControler::registeredDefaults()
{
    using namespace SettingsKeys;
    const QString yes = QStringLiteral("YES");
    const QString no = QStringLiteral("NO");
    QVariantMap defaults{
        {VaultItem, QVariantMap()},
        {SUEnableAutomaticChecks, true},
        {StartAtLogin, no},
        {HelperStartAtLogin, yes},
        {HelperStartSet, no},
        {EnableNotifications, yes},
        {AutoLock, yes},
        {MountAtStart, no},
        {PassSelf, no},
        {FirstStart, yes},
        {TipSelf, yes},
        {ShowPhotoBooth, no},
        {NoMonitorVaults, no},
        {NoManuallyLockAttention, no},
        {VerifyCopyContent, no},
    };
    for (const QString& key :
         {TipDisk, TipLock, TipMount, HelpLock, HelpScan, HelpRestore, WarningText, WarningTextRestore})
        defaults.insert(key, yes);
    for (const QString& key : {NoDealCalendarAgent, NoDealCfprefsd, NoDealMicrosoft, NoDealEvernote,
                               NoDealMacMail, NoDealMessages, NoDealIPhoto, NoDealAddressBook})
        defaults.insert(key, no);
    return defaults;
}

QWidget* AppControler::viewController(int index) const
{
    return m_viewControllers.value(index);
}

bool AppControler::hasVaults() const
{
    return !m_services.settings->dictionaryForKey(SettingsKeys::VaultItem).isEmpty();
}

bool AppControler::processRuns(const QString& name) const
{
    ProcessInfo processes;
    processes.obtainFreshProcessList();
    return processes.findProcessWithName(name);
}

void AppControler::awakeFromNib()
{
    SettingsStore& settings = *m_services.settings;
    m_isTipDisplay = false;

    for (const QString& key : {SettingsKeys::StartAtLogin, SettingsKeys::HelperStartAtLogin,
                               SettingsKeys::CheckUpdatesAutomatically})
        m_settingsObservers.append(
            settings.addObserver(key, [this](const QString& k) { observeValueForKeyPath(k); }));

    const QString mainBundle = BundleLayout::mainBundlePath();
    m_helperPath = BundleLayout::statusBundlePath();

    if (!settings.boolForKey(SettingsKeys::HelperStartSet)) {
        if (settings.boolForKey(SettingsKeys::HelperStartAtLogin)) {
            if (GetSystemVersion::isOlderThan(QStringLiteral("10.5"))) {
                if (LoginItemRegistry::indexForLoginItemWithPath(m_helperPath) < 0)
                    LoginItemRegistry::addLoginItemWithPath(m_helperPath, false);
            } else {
                LoginItems::sharedLoginItems().addItemWithDisplayName(
                    kHelperDisplayName, QUrl::fromLocalFile(m_helperPath), false);
            }
        }
        settings.setBool(true, SettingsKeys::HelperStartSet);
    }

    settings.setObject(mainBundle, SettingsKeys::DefaultAppPath);
    settings.setObject(BundleLayout::catalogueResourcePath(), SettingsKeys::DefaultXmlPath);

    if (settings.boolForKey(SettingsKeys::FirstStart))
        settings.setObject(QStringLiteral("YES"), SettingsKeys::EnableNotifications);

    if (m_services.local)
        m_services.local->addObserver(NotificationNames::GuideToUser, this,
                                      [this](QObject*, const QVariantMap&) { guidetoprotect(); });

    showView(hasVaults() ? 0 : 1);

    const QString vaultFolder = Paths::defaultVaultFolder();
    if (!QFileInfo::exists(vaultFolder) && !QDir().mkdir(vaultFolder))
        qCWarning(lcApp) << "cannot create the vault folder" << vaultFolder;
    if (!settings.objectForKey(SettingsKeys::DefaultVaultLocation).isValid())
        settings.setObject(vaultFolder, SettingsKeys::DefaultVaultLocation);
    if (!settings.objectForKey(SettingsKeys::VaultsLocation).isValid())
        settings.setObject(QVariantMap{{QStringLiteral("Zorvane"), vaultFolder}},
                           SettingsKeys::VaultsLocation);
}

bool AppControler::applicationWillFinishLaunching()
{
    SettingsStore& settings = *m_services.settings;
    if (QFileInfo::exists(Paths::keyFile())) {
        SelfUnlockPanel::Actions actions{[this] { ClickUnlockOK(); }, [this] { ClickUnlockCancel(); },
                                         [this] {
                                             textDidChange();
                                         }};
        if (m_services.selfUnlock->runModal(actions) == 1) {
            Q_EMIT terminateRequested();
            return false;
        }
    }

    const QString helperWrited = settings.stringForKey(SettingsKeys::HelperWrited);
    const QVariantMap vaults = settings.dictionaryForKey(SettingsKeys::VaultItem);
    if (helperWrited.size() >= 2 && vaults.contains(helperWrited))
        m_diskImageController->mountDiskImageAtPath(vaults.value(helperWrited).toString());

    if (settings.boolForKey(SettingsKeys::MountAtStart)) {
        // Unlocking may record more images; walk the list as it was at start.
        const QStringList images = settings.stringArrayForKey(SettingsKeys::StartupItem);
        for (const QString& image : images)
            m_diskImageController->mountDiskImageAtPath(image);
    }

    // After the prompt, after the cut-off jobs were settled (at construction) and after the vaults
    // that unlock at start, so repairs find them unlocked and ask no password.
    m_itemPage->awakeFromNib();

    if (!processRuns(kHelperName))
        m_services.launcher->launchApplication(m_helperPath);
    return true;
}

void AppControler::bringMainWindowToFront()
{
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void AppControler::finishlauch(bool launchedAsLoginItem)
{
    if (!launchedAsLoginItem) {
        bringMainWindowToFront();
        if (m_services.local)
            m_services.local->post(NotificationNames::Reopen, this);
    }
    // The vault page offers to create the first vault once the window is up.
    m_vaultPage->finishlauch();
    m_itemPage->finishlauch();
}

bool AppControler::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (hasVisibleWindows)
        return false;
    bringMainWindowToFront();
    if (m_services.local)
        m_services.local->post(NotificationNames::Reopen, this);
    return true;
}

bool AppControler::applicationShouldTerminate()
{
    if (!GlobalVariable::sharedInstance().getScanProgress())
        return true;
    Alert alert;
    alert.messageText = QStringLiteral("Exit?");
    alert.informativeText =
        QStringLiteral("A file operation is in progress, exit now can potentially cause data loss, "
                       "are you sure you want to exit?");
    alert.accessoryText =
        QStringLiteral("We strongly recommend that you wait until the file operation is finished.");
    alert.accessoryFont = QStringLiteral("Tahoma");
    alert.buttons = {QStringLiteral("Cancel"), QStringLiteral("Exit")};
    return m_services.alerts->runAlert(alert, m_mainWindow.get()) == AlertPort::kSecondButton;
}

void AppControler::showView(int index)
{
    m_mainWindow->box()->setCurrentWidget(m_viewControllers.value(index));
    m_mainWindow->segbutton()->setSelectedSegment(index);
}

void AppControler::ClickSegmentButton(int segment)
{
    if (segment == 0) {
        showView(0);
        BubbleStyle::close(m_attachedWindow);
        BubbleStyle::close(m_attachedWindow1);
        if (m_services.local)
            m_services.local->post(NotificationNames::DisplayScanHelp, this);
        return;
    }
    if (m_services.local)
        m_services.local->post(NotificationNames::CloseTip, this);
    showView(1);
    tipwindow();
}

void AppControler::openPreferences()
{
    if (m_services.openPreferences)
        m_services.openPreferences();
}

void AppControler::ClickUnlockOK()
{
    if (SelfProtectionKey::matches(m_services.selfUnlock->password())) {
        m_services.selfUnlock->stopModal(2);
        m_services.selfUnlock->hide();
        return;
    }
    m_services.selfUnlock->setInfo(QStringLiteral("Password is incorrect"), Qt::red);
}

void AppControler::ClickUnlockCancel()
{
    m_services.selfUnlock->stopModal(1);
    m_services.selfUnlock->hide();
}

void AppControler::textDidChange()
{
    m_services.selfUnlock->setInfo(QString(), Qt::black);
}

void AppControler::ClickPassOK(bool dontAskAgain)
{
    if (dontAskAgain)
        m_services.settings->setObject(QStringLiteral("NO"), SettingsKeys::TipSelf);
    if (m_services.openSelfProtection)
        m_services.openSelfProtection();
}

void AppControler::ClickPassCancel(bool dontAskAgain)
{
    if (dontAskAgain)
        m_services.settings->setObject(QStringLiteral("NO"), SettingsKeys::TipSelf);
}

AttachedWindow* AppControler::showBubble(QWidget* view, QLabel* text, const QPointF& point, double distance,
                                         double arrowHeight)
{
    Q_UNUSED(text);
    AttachedWindow* bubble = BubbleStyle::show(view, point, m_mainWindow.get(), 11, distance, arrowHeight);
    if (bubble)
        m_isTipDisplay = true;
    return bubble;
}

void AppControler::tipwindow()
{
    if (m_isTipDisplay || !m_services.settings->boolForKey(SettingsKeys::TipDisk) || !hasVaults())
        return;
    if (!m_tipView) {
        m_tipView = new QWidget;
        m_tipView->setObjectName(QStringLiteral("tipView"));
        auto* layout = new QVBoxLayout(m_tipView);
        m_tipViewText =
            new QLabel(QStringLiteral("Double-click a vault to lock or unlock it. A locked vault keeps "
                                      "its data encrypted."),
                       m_tipView);
        m_tipViewText->setWordWrap(true);
        m_tipViewCheck = new QCheckBox(QStringLiteral("Don't show this again"), m_tipView);
        auto* close = new QPushButton(QStringLiteral("OK"), m_tipView);
        connect(close, &QPushButton::clicked, this, &AppControler::ClickTipView);
        layout->addWidget(m_tipViewText);
        layout->addWidget(m_tipViewCheck);
        layout->addWidget(close, 0, Qt::AlignRight);
        BubbleStyle::setTextColour(m_tipViewText, Qt::white);
        BubbleStyle::setTextColour(m_tipViewCheck, Qt::white);
        m_tipView->setParent(m_mainWindow.get(), Qt::Widget);
        m_tipView->hide();
    }
    m_attachedWindow =
        showBubble(m_tipView, m_tipViewText, m_mainWindow->segbutton()->centreInWindow(), 125, 15);
    BubbleStyle::answerFromKeyboard(m_attachedWindow, m_tipView->findChild<QPushButton*>());
}

void AppControler::ClickTipView()
{
    BubbleStyle::close(m_attachedWindow);
    if (m_tipViewCheck && m_tipViewCheck->isChecked())
        m_services.settings->setObject(QStringLiteral("NO"), SettingsKeys::TipDisk);
}

void AppControler::guidetoprotect()
{
    if (!hasVaults())
        return;
    if (!m_guideView) {
        m_guideView = new QWidget;
        m_guideView->setObjectName(QStringLiteral("guideView"));
        auto* layout = new QVBoxLayout(m_guideView);
        m_guideViewText = new QLabel(QStringLiteral("Your vault is ready. Now choose what to protect on the "
                                                    "Protected Items page."),
                                     m_guideView);
        m_guideViewText->setWordWrap(true);
        auto* close = new QPushButton(QStringLiteral("OK"), m_guideView);
        connect(close, &QPushButton::clicked, this, &AppControler::ClickGuideView);
        layout->addWidget(m_guideViewText);
        layout->addWidget(close, 0, Qt::AlignRight);
        BubbleStyle::setTextColour(m_guideViewText, Qt::white);
        m_guideView->setParent(m_mainWindow.get(), Qt::Widget);
        m_guideView->hide();
    }
    const QPointF point = m_mainWindow->segbutton()->centreInWindow() - QPointF(20, 0);
    m_attachedWindow1 = showBubble(m_guideView, m_guideViewText, point, 10, 43);
    BubbleStyle::answerFromKeyboard(m_attachedWindow1, m_guideView->findChild<QPushButton*>());
    m_services.distributed->post(NotificationNames::HelperMessage);
}

void AppControler::ClickGuideView()
{
    BubbleStyle::close(m_attachedWindow1);
}

void AppControler::applyLoginItem(const QString& key, const QString& bundlePath, const QString& displayName)
{
    const bool wanted = m_services.settings->boolForKey(key);
    if (GetSystemVersion::isOlderThan(QStringLiteral("10.5"))) {
        if (!wanted)
            LoginItemRegistry::removeLoginItemWithPath(bundlePath);
        else if (LoginItemRegistry::indexForLoginItemWithPath(bundlePath) < 0)
            LoginItemRegistry::addLoginItemWithPath(bundlePath, false);
        return;
    }
    if (wanted)
        LoginItems::sharedLoginItems().addItemWithDisplayName(displayName, QUrl::fromLocalFile(bundlePath),
                                                              false);
    else
        LoginItems::sharedLoginItems().removeItemWithDisplayName(displayName);
}

void AppControler::observeValueForKeyPath(const QString&)
{
    applyLoginItem(SettingsKeys::StartAtLogin, BundleLayout::mainBundlePath(), kAppDisplayName);
    applyLoginItem(SettingsKeys::HelperStartAtLogin, m_helperPath, kHelperDisplayName);
    if (m_services.updater)
        m_services.updater->setAutomaticallyChecksForUpdates(
            m_services.settings->boolForKey(SettingsKeys::SUEnableAutomaticChecks));
}

void AppControler::clickuninstall()
{
    if (GlobalVariable::sharedInstance().getScanProgress()) {
        m_services.alerts->runAlert(
            Alert(QStringLiteral("Unable to uninstall"),
                  QStringLiteral("A task is in progress, please wait until the task is finished, "
                                 "then try uninstalling again.")));
        return;
    }
    Alert confirm(
        QStringLiteral("Uninstall Zorvane"),
        QStringLiteral("Are you sure you want to uninstall Zorvane? The uninstaller will restore all "
                       "encrypted folders back to normal and remove Zorvane from your computer."),
        {QStringLiteral("Cancel"), QStringLiteral("Yes")});
    if (m_services.alerts->runAlert(confirm) != AlertPort::kSecondButton)
        return;

    m_services.distributed->post(NotificationNames::HelperQuit);
    if (!processRuns(kUninstallerName)) {
        // A settings file left by an earlier uninstaller would shadow Zorvane's records.
        const QString stale = Paths::settingsFile(SettingsStore::kUninstallerDomain);
        if (QFileInfo::exists(stale)) {
            const TrashResult trashed = m_services.trash->moveToTrash(stale);
            if (!trashed.ok)
                qCWarning(lcApp) << "cannot move the uninstaller's old settings to the Trash:"
                                 << trashed.error;
        }
        m_services.launcher->launchApplication(BundleLayout::uninstallerBundlePath());
    }
    Q_EMIT terminateRequested();
}

void AppControler::updaterWillInstallUpdate()
{
    ProcessInfo::KillAnyProcessByName(kHelperName);
}

bool AppControler::updaterShouldPostponeRelaunch()
{
    if (!GlobalVariable::sharedInstance().getScanProgress())
        return false;
    m_services.alerts->runAlert(
        Alert(QStringLiteral("Unable to relaunch"),
              QStringLiteral("A task is in progress, please wait until the task is finished, then "
                             "manually quit and relaunch Zorvane to complete installation of the "
                             "new version.")));
    return true;
}

QUrl AppControler::onlineHelpUrl()
{
    return HelpAddresses::features();
}

QUrl AppControler::onlineFaqsUrl()
{
    return HelpAddresses::faq();
}

QUrl AppControler::uninstallHelpUrl()
{
    return HelpAddresses::uninstall();
}

QUrl AppControler::feedbackUrl()
{
    return HelpAddresses::feedback();
}

void AppControler::clickonlinehelp()
{
    m_services.urls->openUrl(onlineHelpUrl());
}

void AppControler::clickonlinefaqs()
{
    m_services.urls->openUrl(onlineFaqsUrl());
}

void AppControler::clickhelpuninstall()
{
    m_services.urls->openUrl(uninstallHelpUrl());
}

void AppControler::sendFeedback()
{
    m_services.urls->openUrl(feedbackUrl());
}

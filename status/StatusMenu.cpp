#include "status/StatusMenu.h"

#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/system/NoticePort.h"
#include "core/vault/VaultVolume.h"
#include "platform/BusNameOwner.h"
#include "platform/MountWatcher.h"
#include "status/StatusAttachDiskImageController.h"
#include "status/StatusMenuActions.h"
#include "ui/AttachedWindow.h"

#include <QApplication>
#include <QCursor>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("Zorvane");
// An icon docking in an XEmbed tray gets its place a moment after it is shown.
constexpr qint64 kDockWaitMs = 3000;

QString menuTitle(const QString& name)
{
    // A name is shown as it is, never as a keyboard shortcut.
    return QString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

bool isXcb()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

} // namespace

StatusMenu::StatusMenu(StatusAttachDiskImageController* controller, StatusMenuActions* actions,
                       NoticePort* notices, MountWatcher* mounts, QObject* parent, QDBusConnection bus)
    : QObject(parent), m_controller(controller), m_actions(actions), m_notices(notices), m_mounts(mounts),
      m_bus(bus), m_newStatusMenu(new QMenu)
{
    // A change seen while the menu is open waits until it closes (and until its action ran).
    connect(m_newStatusMenu, &QMenu::aboutToHide, this, [this] {
        if (m_pendingWhileOpen)
            QTimer::singleShot(0, this, &StatusMenu::changed);
    });
    if (m_mounts) {
        const auto mountChanged = [this](const QString& mountPoint) {
            // Only vaults below the volumes root count.
            if (!VaultVolume::isBelowVolumesRoot(mountPoint))
                return;
            refreshMounted();
            changed();
        };
        connect(m_mounts, &MountWatcher::didMount, this, mountChanged);
        connect(m_mounts, &MountWatcher::didUnmount, this, mountChanged);
    }
    // A new palette reaches every widget, the menu among them.
    m_newStatusMenu->installEventFilter(this);
}

StatusMenu::~StatusMenu()
{
    delete m_attachedWindow.data();
    delete m_helpView;
    delete m_statusItem;
    delete m_newStatusMenu;
}

QString StatusMenu::tipText()
{
    return QStringLiteral("\r\nZorvane Helper runs in the background. Click this icon to open or lock your "
                          "protected applications, folders and vaults, or to open Zorvane.");
}

QString StatusMenu::statusImageFor(const QColor& panel)
{
    return panel.lightness() < 128 ? QStringLiteral(":/status/MainStatusHighlight.png")
                                   : QStringLiteral(":/status/MainStatus.png");
}

QIcon StatusMenu::lockedIcon()
{
    return QIcon(QStringLiteral(":/status/LockedIcon.png"));
}

QIcon StatusMenu::unlockedIcon()
{
    return QIcon(QStringLiteral(":/status/UnlockedIcon.png"));
}

// ---- Start ---------------------------------------------------------------------------------------

void StatusMenu::finishlauch()
{
    // Under X11 Qt docks the icon into an XEmbed tray whenever one appears. A tray host that
    // speaks D-Bus (StatusNotifierItem) must run when Qt first looks, so elsewhere the icon is
    // made once its watcher is there.
    if (isXcb()) {
        createStatusItem();
    } else if (m_bus.isConnected()) {
        auto* appears =
            new QDBusServiceWatcher(kWatcherService, m_bus, QDBusServiceWatcher::WatchForRegistration, this);
        connect(appears, &QDBusServiceWatcher::serviceRegistered, this, &StatusMenu::createStatusItem);
        BusNameOwner::ask(m_bus, kWatcherService, this, [this](bool owned) {
            if (owned)
                createStatusItem();
        });
    }

    refreshMounted();
    addMenu();
    watchSettingsFolder();
    if (!m_tick) {
        m_tick = new QTimer(this);
        m_tick->setInterval(kTickMs);
        connect(m_tick, &QTimer::timeout, this, &StatusMenu::onTick);
        m_tick->start();
    }
}

void StatusMenu::createStatusItem()
{
    if (m_statusItem)
        return;
    m_statusItem = new QSystemTrayIcon;
    updateStatusImage();
    m_statusItem->setToolTip(kTitle);
    m_statusItem->setContextMenu(m_newStatusMenu);
    // A left click opens the menu too.
    connect(m_statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    popUpMenu();
            });
    m_statusItem->show();
    m_sinceIconShown.start();
}

void StatusMenu::updateStatusImage()
{
    if (m_statusItem)
        m_statusItem->setIcon(QIcon(statusImageFor(QApplication::palette().color(QPalette::Window))));
}

bool StatusMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_newStatusMenu &&
        (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange))
        updateStatusImage();
    return QObject::eventFilter(watched, event);
}

void StatusMenu::popUpMenu()
{
    const QRect icon = m_statusItem ? m_statusItem->geometry() : QRect();
    m_newStatusMenu->popup(icon.isValid() && !icon.isEmpty() ? icon.bottomLeft() : QCursor::pos());
}

// ---- Following changes ---------------------------------------------------------------------------

void StatusMenu::refreshMounted()
{
    m_mountedVaults = VaultVolume::mountedVaultNames();
}

void StatusMenu::watchSettingsFolder()
{
    const QString folder = Paths::settingsFolder();
    if (m_settingsWatch && !m_settingsWatch->directories().isEmpty())
        return;
    if (!QDir(folder).exists())
        return; // looked for again on the next tick
    if (!m_settingsWatch) {
        m_settingsWatch = new QFileSystemWatcher(this);
        // Settings are replaced by a rename, which changes the folder.
        connect(m_settingsWatch, &QFileSystemWatcher::directoryChanged, this, &StatusMenu::changed);
    }
    m_settingsWatch->addPath(folder);
}

StatusMenuModel StatusMenu::currentModel()
{
    SettingsStore* settings = m_controller->services().settings;
    if (!settings)
        return {};
    // Without a mount watcher the mount table is read each time; it is small.
    if (!m_mounts || !m_mounts->isWatching())
        refreshMounted();
    const Records records(*settings);
    return StatusMenuModel::build(records.list(SettingsKeys::RedirectItem),
                                  records.list(SettingsKeys::CustomFolderItem),
                                  records.list(SettingsKeys::VaultItem), m_mountedVaults);
}

void StatusMenu::changed()
{
    // Settings reads go through the store's cache, which re-reads a file only once its stamp
    // changed: an idle tick parses nothing.
    const StatusMenuModel model = currentModel();
    if (m_built && model == m_model && !m_pendingWhileOpen)
        return;
    if (menuIsOpen()) {
        m_pendingWhileOpen = true;
        return;
    }
    build(model);
}

void StatusMenu::onTick()
{
    watchSettingsFolder();
    changed();
    showTipIfFirstRun();
}

void StatusMenu::addMenu()
{
    m_controller->refreshSettings();
    if (menuIsOpen()) {
        m_pendingWhileOpen = true;
        return;
    }
    build(currentModel());
}

bool StatusMenu::menuIsOpen() const
{
    if (m_newStatusMenu->isVisible())
        return true;
    const QList<QMenu*> submenus = m_newStatusMenu->findChildren<QMenu*>();
    return std::any_of(submenus.cbegin(), submenus.cend(),
                       [](const QMenu* menu) { return menu->isVisible(); });
}

// ---- Building ------------------------------------------------------------------------------------

void StatusMenu::compatibleRemoveAllItems(QMenu* menu)
{
    if (!menu)
        return;
    // clear() deletes the entries but not the submenus the menu made for them.
    QList<QMenu*> submenus;
    for (QAction* action : menu->actions()) {
        if (QMenu* submenu = action->menu(); submenu && submenu->parent() == menu)
            submenus.append(submenu);
    }
    menu->clear();
    qDeleteAll(submenus);
}

QAction* StatusMenu::addEntry(QMenu* menu, const QString& title, const QString& name,
                              void (StatusMenuActions::*action)(const QString&))
{
    QAction* entry = menu->addAction(menuTitle(title));
    entry->setData(name);
    StatusMenuActions* actions = m_actions;
    // Run from the event loop once the menu has closed: the action may run a modal prompt.
    connect(entry, &QAction::triggered, actions, [actions, action, name] {
        QTimer::singleShot(0, actions, [actions, action, name] { (actions->*action)(name); });
    });
    return entry;
}

void StatusMenu::addSection(const QString& title, const QList<StatusMenuEntry>& entries,
                            void (StatusMenuActions::*openLocked)(const QString&),
                            void (StatusMenuActions::*openUnlocked)(const QString&),
                            void (StatusMenuActions::*lockUnlocked)(const QString&))
{
    if (entries.isEmpty())
        return;
    QMenu* section = m_newStatusMenu->addMenu(title);
    for (const StatusMenuEntry& entry : entries) {
        if (entry.unlocked) {
            QMenu* item = section->addMenu(unlockedIcon(), menuTitle(entry.name));
            item->menuAction()->setData(entry.name);
            addEntry(item, QStringLiteral("Open"), entry.name, openUnlocked);
            addEntry(item, QStringLiteral("Lock"), entry.name, lockUnlocked);
        } else {
            addEntry(section, entry.name, entry.name, openLocked)->setIcon(lockedIcon());
        }
    }
}

void StatusMenu::build(const StatusMenuModel& model)
{
    compatibleRemoveAllItems(m_newStatusMenu);
    m_model = model;
    m_built = true;
    m_pendingWhileOpen = false;
    ++m_rebuilds;

    StatusMenuActions* actions = m_actions;
    const auto queued = [actions](void (StatusMenuActions::*action)()) {
        return [actions, action] {
            QTimer::singleShot(0, actions, [actions, action] { (actions->*action)(); });
        };
    };
    connect(m_newStatusMenu->addAction(QStringLiteral("Open Zorvane")), &QAction::triggered, actions,
            queued(&StatusMenuActions::openzorvane));
    m_newStatusMenu->addSeparator();
    addSection(QStringLiteral("Folders"), model.folders, &StatusMenuActions::openFolderApp,
               &StatusMenuActions::openFolderSubitem, &StatusMenuActions::lockFolderSubitem);
    addSection(QStringLiteral("Apps"), model.apps, &StatusMenuActions::openMenuApp,
               &StatusMenuActions::openAppSubitem, &StatusMenuActions::lockAppSubitem);
    addSection(QStringLiteral("Vaults"), model.vaults, &StatusMenuActions::openMenuVaults,
               &StatusMenuActions::openVaultSubitem, &StatusMenuActions::lockVaultSubitem);
    if (model.hasItems())
        m_newStatusMenu->addSeparator();
    connect(m_newStatusMenu->addAction(QStringLiteral("Quit")), &QAction::triggered, actions,
            queued(&StatusMenuActions::quitself));
    showTipIfFirstRun();
}

// ---- First-run tip -------------------------------------------------------------------------------

void StatusMenu::showTipIfFirstRun()
{
    if (m_tipSettled || m_attachedWindow || !m_model.hasItems())
        return;
    SettingsStore* settings = m_controller->services().settings;
    if (!settings)
        return;
    if (settings->boolForKey(SettingsKeys::NotFirstRunHelperApp)) {
        m_tipSettled = true;
        return;
    }
    const QRect icon = m_statusItem ? m_statusItem->geometry() : QRect();
    if (icon.isValid() && !icon.isEmpty()) {
        m_tipSettled = true;
        settings->setObject(QStringLiteral("YES"), SettingsKeys::NotFirstRunHelperApp);
        showTipBubble(icon);
        return;
    }
    if (m_statusItem && isXcb() && m_sinceIconShown.isValid() && m_sinceIconShown.elapsed() < kDockWaitMs)
        return;
    // No place to point at (no tray, or one that doesn't tell where the icon is): a notice.
    m_tipSettled = true;
    if (!m_notices)
        return;
    const QPointer<StatusMenu> self(this);
    m_notices->notifyConfirmed(kTitle, tipText(), true, [self](bool shown) {
        if (self && shown)
            if (SettingsStore* store = self->m_controller->services().settings)
                store->setObject(QStringLiteral("YES"), SettingsKeys::NotFirstRunHelperApp);
    });
}

void StatusMenu::showTipBubble(const QRect& icon)
{
    if (!m_helpView) {
        m_helpView = new QWidget;
        auto* layout = new QVBoxLayout(m_helpView);
        auto* text = new QLabel(tipText().trimmed(), m_helpView);
        text->setObjectName(QStringLiteral("helpViewText"));
        text->setWordWrap(true);
        text->setFixedWidth(260);
        QPalette white = text->palette();
        white.setColor(QPalette::WindowText, Qt::white);
        text->setPalette(white);
        auto* ok = new QPushButton(QStringLiteral("OK"), m_helpView);
        ok->setObjectName(QStringLiteral("helpViewOK"));
        connect(ok, &QPushButton::clicked, this, &StatusMenu::clickhelpok);
        layout->addWidget(text);
        layout->addWidget(ok, 0, Qt::AlignRight);
        m_helpView->adjustSize();
    }
    // Below the icon on a top panel, above it on a bottom one.
    const QScreen* screen = QGuiApplication::screenAt(icon.center());
    const bool below = !screen || icon.center().y() < screen->geometry().center().y();
    const QPointF point(icon.x() + icon.width() * 0.5, below ? icon.bottom() + 1 : icon.top());
    AttachedWindow* tip = AttachedWindow::create(m_helpView, point, below ? 1 : 3, 1.0);
    if (!tip)
        return;
    tip->setBorderColor(Qt::white);
    tip->setBackgroundColor(QColor::fromRgbF(0.2f, 0.2f, 0.2f, 0.95f));
    tip->setViewMargin(5);
    tip->setBorderWidth(2);
    tip->setCornerRadius(10);
    tip->setHasArrow(true);
    tip->setDrawsRoundCornerBesideArrow(true);
    tip->setArrowBaseWidth(15);
    tip->setArrowHeight(25);
    // An icon near a screen edge: the bubble extends away from the edge instead of off it.
    if (screen) {
        const QRect room = screen->availableGeometry();
        if (tip->geometry().left() < room.left())
            tip->setPoint(point, below ? 11 : 9);
        else if (tip->geometry().right() > room.right())
            tip->setPoint(point, below ? 10 : 8);
        // Right at the edge the arrow goes into the corner.
        if (tip->geometry().left() < room.left() || tip->geometry().right() > room.right())
            tip->setDrawsRoundCornerBesideArrow(false);
    }
    tip->show();
    tip->raise();
    tip->activateWindow();
    m_attachedWindow = tip;
}

void StatusMenu::clickhelpok()
{
    if (AttachedWindow* tip = m_attachedWindow) {
        m_attachedWindow = nullptr;
        tip->close();
        tip->deleteLater();
    }
}

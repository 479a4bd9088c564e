#pragma once

#include "status/StatusMenuModel.h"
#include "ui/AttachedWindow.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QPointer>

class MountWatcher;
class QAction;
class NoticePort;
class QFileSystemWatcher;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class StatusAttachDiskImageController;
class StatusMenuActions;

// The helper's tray icon and its menu: "Open Zorvane", the protected folders and applications
// and the vaults, each with its lock state, and "Quit". The menu follows the settings and the
// mounted vaults: it is rebuilt at once on a mount event or a change in the settings folder,
// and the one-second tick compares a small model and touches the menu only on a difference
// (a change makes the tray host fetch the whole menu again). Without a tray everything else
// goes on; the icon appears once a tray does.
class StatusMenu : public QObject
{
    Q_OBJECT

public:
    static inline const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    static constexpr int kTickMs = 1000;

    StatusMenu(StatusAttachDiskImageController* controller, StatusMenuActions* actions, NoticePort* notices,
               MountWatcher* mounts, QObject* parent = nullptr,
               QDBusConnection bus = QDBusConnection::sessionBus());
    ~StatusMenu() override;

    // Builds the menu, shows the icon (now, or once a tray appears) and starts the tick.
    void finishlauch();

    // Rebuilds the menu from the settings and the mounted vaults.
    void addMenu();
    // The one-second tick: rebuilds only when what the menu shows has changed.
    void onTick();
    // Empties a menu, freeing the submenus it made.
    static void compatibleRemoveAllItems(QMenu* menu);

    QMenu* newStatusMenu() const { return m_newStatusMenu; }
    // Null until a tray host can show it.
    QSystemTrayIcon* statusItem() const { return m_statusItem; }
    // The first-run tip while it shows.
    AttachedWindow* attachedWindow() const { return m_attachedWindow; }
    // The tip's OK: closes it.
    void clickhelpok();
    // How often the menu was rebuilt (tests of the idle tick).
    int rebuildCount() const { return m_rebuilds; }
    StatusMenuModel model() const { return m_model; }

    static QString tipText();
    // The tray glyph for a panel of this colour: "MainStatus" (dark) on a light panel,
    // "MainStatusHighlight" (light) on a dark one.
    static QString statusImageFor(const QColor& panel);
    static QIcon lockedIcon();
    static QIcon unlockedIcon();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    StatusMenuModel currentModel();
    void refreshMounted();
    void watchSettingsFolder();
    void changed();
    void build(const StatusMenuModel& model);
    void addSection(const QString& title, const QList<StatusMenuEntry>& entries,
                    void (StatusMenuActions::*openLocked)(const QString&),
                    void (StatusMenuActions::*openUnlocked)(const QString&),
                    void (StatusMenuActions::*lockUnlocked)(const QString&));
    QAction* addEntry(QMenu* menu, const QString& title, const QString& name,
                      void (StatusMenuActions::*action)(const QString&));
    bool menuIsOpen() const;
    void createStatusItem();
    void updateStatusImage();
    void popUpMenu();
    void showTipIfFirstRun();
    void showTipBubble(const QRect& icon);

    StatusAttachDiskImageController* m_controller;
    StatusMenuActions* m_actions;
    NoticePort* m_notices;
    QPointer<MountWatcher> m_mounts;
    QDBusConnection m_bus;
    QMenu* m_newStatusMenu;
    QSystemTrayIcon* m_statusItem = nullptr;
    QTimer* m_tick = nullptr;
    QFileSystemWatcher* m_settingsWatch = nullptr;
    QStringList m_mountedVaults;
    StatusMenuModel m_model;
    bool m_built = false;
    bool m_pendingWhileOpen = false;
    int m_rebuilds = 0;
    QElapsedTimer m_sinceIconShown;
    QPointer<AttachedWindow> m_attachedWindow;
    QWidget* m_helpView = nullptr;
    bool m_tipSettled = false;
};

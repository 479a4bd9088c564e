#pragma once

#include <QObject>

class DistributedNotificationCenter;
class QSocketNotifier;
class QSystemTrayIcon;
class StatusAttachDiskImageController;

// ZorvaneStatus: the background helper, shown as a tray icon. It follows Zorvane's
// notifications and quits when Zorvane hands over to the uninstaller, or on SIGTERM/SIGINT;
// either way the controller first ends the launches it holds.
class StatusApp : public QObject
{
    Q_OBJECT
public:
    static inline const QString kBusName = QStringLiteral("com.tarnwick.ZorvaneStatus");

    StatusApp(DistributedNotificationCenter* notifications, StatusAttachDiskImageController* controller,
              QObject* parent = nullptr);
    ~StatusApp() override;

    // "Com.Tarnwick.HelperQuit": the helper terminates.
    void needQuit();

private:
    void onNotification(const QString& name, const QVariantMap& userInfo);
    void onTerminationSignal();

    DistributedNotificationCenter* m_notifications;
    StatusAttachDiskImageController* m_controller;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QSocketNotifier* m_signalNotifier = nullptr;
};

#pragma once

#include <QObject>

class DistributedNotificationCenter;
class QSystemTrayIcon;

// ZorvaneStatus: the background helper, shown as a tray icon. It follows Zorvane's
// notifications and quits when Zorvane hands over to the uninstaller.
class StatusApp : public QObject
{
    Q_OBJECT
public:
    static inline const QString kBusName = QStringLiteral("com.tarnwick.ZorvaneStatus");

    explicit StatusApp(DistributedNotificationCenter* notifications, QObject* parent = nullptr);

    // "Com.Tarnwick.HelperQuit": the helper terminates.
    void needQuit();

private:
    void onNotification(const QString& name, const QVariantMap& userInfo);

    DistributedNotificationCenter* m_notifications;
    QSystemTrayIcon* m_trayIcon = nullptr;
};

#pragma once

#include <QObject>

class DistributedNotificationCenter;
class NoticePort;
class QSocketNotifier;
class StatusAttachDiskImageController;

// ZorvaneStatus's link to Zorvane and to the system: it shows the messages Zorvane asks for
// and quits when Zorvane hands over to the uninstaller, or on SIGTERM/SIGINT; either way the
// controller first ends the launches it holds.
class StatusApp : public QObject
{
    Q_OBJECT
public:
    static inline const QString kBusName = QStringLiteral("com.tarnwick.ZorvaneStatus");

    StatusApp(DistributedNotificationCenter* notifications, StatusAttachDiskImageController* controller,
              NoticePort* notices = nullptr, QObject* parent = nullptr);
    ~StatusApp() override;

    // "Com.Tarnwick.HelperQuit": the helper terminates.
    void needQuit();
    // The messages Zorvane asks for: sticky, whatever "EnableNotifications" says.
    void needDisplayMessage();
    void needDisplayPhotoStreamMessage(const QString& appName);
    void needDisplayPhotosMessage();

    static QString helperMessageTitle();
    static QString helperMessageText();
    static QString photoStreamMessageText(const QString& appName);
    static QString photosMessageText();

private:
    void onNotification(const QString& name, const QVariantMap& userInfo);
    void onTerminationSignal();

    DistributedNotificationCenter* m_notifications;
    StatusAttachDiskImageController* m_controller;
    NoticePort* m_notices;
    QSocketNotifier* m_signalNotifier = nullptr;
};

#pragma once

#include <QObject>

class QSystemTrayIcon;

// ZorvaneStatus: the background helper, shown as a tray icon.
class StatusApp : public QObject
{
    Q_OBJECT
public:
    explicit StatusApp(QObject* parent = nullptr);

private:
    QSystemTrayIcon* m_trayIcon = nullptr;
};

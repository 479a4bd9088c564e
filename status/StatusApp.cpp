#include "status/StatusApp.h"

#include "core/system/DistributedNotificationCenter.h"
#include "core/system/Logging.h"
#include "core/system/NotificationNames.h"

#include <QApplication>
#include <QStyle>
#include <QSystemTrayIcon>

StatusApp::StatusApp(DistributedNotificationCenter* notifications, QObject* parent)
    : QObject(parent), m_notifications(notifications)
{
    m_trayIcon = new QSystemTrayIcon(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon), this);
    m_trayIcon->setToolTip(QStringLiteral("ZorvaneStatus"));
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_trayIcon->show();
    connect(m_notifications, &DistributedNotificationCenter::notificationReceived, this,
            &StatusApp::onNotification);
}

void StatusApp::onNotification(const QString& name, const QVariantMap&)
{
    if (name == NotificationNames::HelperQuit)
        needQuit();
}

void StatusApp::needQuit()
{
    qCInfo(lcStatus) << "quitting on Zorvane's request";
    QCoreApplication::quit();
}

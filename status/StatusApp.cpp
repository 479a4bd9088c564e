#include "status/StatusApp.h"

#include <QApplication>
#include <QStyle>
#include <QSystemTrayIcon>

StatusApp::StatusApp(QObject* parent) : QObject(parent)
{
    m_trayIcon = new QSystemTrayIcon(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon), this);
    m_trayIcon->setToolTip(QStringLiteral("ZorvaneStatus"));
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_trayIcon->show();
}

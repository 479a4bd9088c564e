#include "status/StatusApp.h"

#include "core/system/DistributedNotificationCenter.h"
#include "core/system/Logging.h"
#include "core/system/NotificationNames.h"
#include "status/StatusAttachDiskImageController.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QStyle>
#include <QSystemTrayIcon>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler may only write; the event loop reads the other end.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    (void)!::write(g_signalPipe[1], &byte, 1);
}

} // namespace

StatusApp::StatusApp(DistributedNotificationCenter* notifications,
                     StatusAttachDiskImageController* controller, QObject* parent)
    : QObject(parent), m_notifications(notifications), m_controller(controller)
{
    m_trayIcon = new QSystemTrayIcon(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon), this);
    m_trayIcon->setToolTip(QStringLiteral("ZorvaneStatus"));
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_trayIcon->show();
    connect(m_notifications, &DistributedNotificationCenter::notificationReceived, this,
            &StatusApp::onNotification);
    if (m_controller)
        connect(
            m_controller, &StatusAttachDiskImageController::helperShouldQuit, this,
            [] { QCoreApplication::quit(); }, Qt::QueuedConnection);

    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        m_signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(m_signalNotifier, &QSocketNotifier::activated, this, &StatusApp::onTerminationSignal);
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }
}

StatusApp::~StatusApp()
{
    if (m_signalNotifier) {
        signal(SIGTERM, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        delete m_signalNotifier;
        ::close(g_signalPipe[0]);
        ::close(g_signalPipe[1]);
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }
}

void StatusApp::onNotification(const QString& name, const QVariantMap&)
{
    if (name == NotificationNames::HelperQuit)
        needQuit();
}

void StatusApp::onTerminationSignal()
{
    char byte;
    (void)!::read(g_signalPipe[0], &byte, 1);
    qCInfo(lcStatus) << "asked to terminate";
    needQuit();
}

void StatusApp::needQuit()
{
    if (m_controller) {
        m_controller->needQuit();
        return;
    }
    qCInfo(lcStatus) << "quitting on Zorvane's request";
    QCoreApplication::quit();
}

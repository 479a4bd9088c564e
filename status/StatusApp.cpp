#include "status/StatusApp.h"

#include "core/system/DistributedNotificationCenter.h"
#include "core/system/Logging.h"
#include "core/system/NoticePort.h"
#include "core/system/NotificationNames.h"
#include "status/StatusAttachDiskImageController.h"

#include <QCoreApplication>
#include <QSocketNotifier>
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
                     StatusAttachDiskImageController* controller, NoticePort* notices, QObject* parent)
    : QObject(parent), m_notifications(notifications), m_controller(controller), m_notices(notices)
{
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

void StatusApp::onNotification(const QString& name, const QVariantMap& userInfo)
{
    if (name == NotificationNames::HelperQuit)
        needQuit();
    else if (name == NotificationNames::HelperMessage)
        needDisplayMessage();
    else if (name == NotificationNames::HelperPhotoStreamMessage)
        needDisplayPhotoStreamMessage(userInfo.value(NotificationNames::AppName).toString());
    else if (name == NotificationNames::HelperPhotosMessage)
        needDisplayPhotosMessage();
}

QString StatusApp::helperMessageTitle()
{
    return QStringLiteral("Things you need to know:");
}

QString StatusApp::helperMessageText()
{
    return QStringLiteral(
        "\r\n1. By default, Zorvane stores all the encrypted vaults in a folder named Zorvane which resides "
        "under "
        "your Home directory. Please be careful not to delete or move the Zorvane folder.\r\n\r\n2. Please "
        "don't "
        "uninstall Zorvane manually, Zorvane includes an uninstaller, you can access it from the top-left "
        "corner "
        "of the Zorvane Menu.\r\n\r\nThis message will only be displayed once, click to hide this message.");
}

QString StatusApp::photoStreamMessageText(const QString& appName)
{
    return QStringLiteral("\r\nYou have My Photo Stream turned on in %1. In some cases, iCloud will keep "
                          "asking you for the "
                          "vault password when you log in to your computer. If you'd like to turn off My "
                          "Photo Stream in %1, "
                          "choose %1 > Preferences, and then click iCloud. Deselect My Photo Stream, and "
                          "then click Turn "
                          "Off.\r\n\r\nThis message will only be displayed once, click to hide this message.")
        .arg(appName);
}

QString StatusApp::photosMessageText()
{
    return QStringLiteral(
        "\r\nYou have put Photos Library into an encrypted vault. \r\n\r\nIn some cases, you may need to "
        "manually "
        "select the encrypted Photos Library in the vault, open Photos, enter the password to unlock the "
        "vault, "
        "then click \"Open Other...\", select Photos Library.photoslibrary from the list, click \"Choose "
        "Library\", you don't need to go through these steps next time you open Photos.\r\n\r\nClick to hide "
        "this message.");
}

void StatusApp::needDisplayMessage()
{
    if (m_notices)
        m_notices->notify(helperMessageTitle(), helperMessageText(), true);
}

void StatusApp::needDisplayPhotoStreamMessage(const QString& appName)
{
    if (m_notices)
        m_notices->notify(QStringLiteral("Zorvane"), photoStreamMessageText(appName), true);
}

void StatusApp::needDisplayPhotosMessage()
{
    if (m_notices)
        m_notices->notify(QStringLiteral("Zorvane"), photosMessageText(), true);
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

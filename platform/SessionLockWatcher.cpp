#include "platform/SessionLockWatcher.h"

#include "core/system/Logging.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaMethod>
#include <unistd.h>

SessionLockWatcher::SessionLockWatcher(QObject* parent, QDBusConnection sessionBus, QDBusConnection systemBus)
    : QObject(parent), m_session(sessionBus), m_system(systemBus)
{}

void SessionLockWatcher::start()
{
    if (m_started)
        return;
    m_started = true;
    // Any sender: naming the service would make Qt ask the bus for its owner and wait. A
    // signal from someone else can do no more than lock the vaults early.
    if (m_session.isConnected()) {
        for (const QString& interface :
             {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver")})
            m_session.connect(QString(), QString(), interface, QStringLiteral("ActiveChanged"), this,
                              SLOT(onScreenSaverActiveChanged(bool)));
    }
    if (!m_system.isConnected()) {
        qCInfo(lcPlatform) << "no system bus: sleep and logind's session lock are not followed";
        return;
    }
    m_system.connect(QString(), QString(), kSessionInterface, QStringLiteral("Lock"), this,
                     SLOT(onSessionLock(QDBusMessage)));
    m_system.connect(QString(), kLogin1Path, kManagerInterface, QStringLiteral("PrepareForSleep"), this,
                     SLOT(onPrepareForSleep(bool)));
    findSession();
    takeSleepDelay();
}

void SessionLockWatcher::findSession()
{
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin1Service, kLogin1Path, kManagerInterface,
                                                       QStringLiteral("GetSessionByPID"));
    call << uint(::getpid());
    auto* watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        w->deleteLater();
        if (!reply.isError()) {
            m_sessionPath = reply.value().path();
            return;
        }
        // Started outside the session's process tree (a service manager): its id still says.
        const QString id = qEnvironmentVariable("XDG_SESSION_ID");
        if (id.isEmpty()) {
            qCInfo(lcPlatform) << "no logind session found; every session's lock counts";
            return;
        }
        QDBusMessage byId = QDBusMessage::createMethodCall(kLogin1Service, kLogin1Path, kManagerInterface,
                                                           QStringLiteral("GetSession"));
        byId << id;
        auto* second = new QDBusPendingCallWatcher(m_system.asyncCall(byId), this);
        connect(second, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w2) {
            const QDBusPendingReply<QDBusObjectPath> byIdReply = *w2;
            w2->deleteLater();
            if (!byIdReply.isError())
                m_sessionPath = byIdReply.value().path();
        });
    });
}

void SessionLockWatcher::takeSleepDelay()
{
    if (m_delayRequested || m_delay.isValid() || !m_system.isConnected())
        return;
    m_delayRequested = true;
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin1Service, kLogin1Path, kManagerInterface,
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Zorvane")
         << QStringLiteral("Locking the vaults before the computer sleeps") << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(m_system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        w->deleteLater();
        m_delayRequested = false;
        if (reply.isError()) {
            qCInfo(lcPlatform) << "no sleep delay:" << reply.error().message();
            return;
        }
        m_delay = reply.value();
        Q_EMIT sleepDelayTaken();
    });
}

void SessionLockWatcher::releaseSleepDelay()
{
    if (m_delay.isValid())
        qCInfo(lcPlatform) << "releasing the sleep delay";
    m_delay = QDBusUnixFileDescriptor();
}

void SessionLockWatcher::onScreenSaverActiveChanged(bool active)
{
    if (active)
        Q_EMIT sessionLocked();
}

void SessionLockWatcher::onSessionLock(const QDBusMessage& message)
{
    if (!m_sessionPath.isEmpty() && message.path() != m_sessionPath)
        return; // another session's
    Q_EMIT sessionLocked();
}

void SessionLockWatcher::onPrepareForSleep(bool start)
{
    if (!start) {
        takeSleepDelay();
        return;
    }
    if (isSignalConnected(QMetaMethod::fromSignal(&SessionLockWatcher::aboutToSleep)))
        Q_EMIT aboutToSleep();
    else
        releaseSleepDelay();
}

#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

class QDBusMessage;

// Tells when the user's session locks or the computer is about to sleep: the screen savers'
// ActiveChanged(true) (org.freedesktop.ScreenSaver, org.gnome.ScreenSaver) on the session bus,
// and logind's Lock of this session and PrepareForSleep(true) on the system bus. While it
// watches, it holds a "delay" sleep inhibitor, so the computer waits (at most logind's delay
// limit) until releaseSleepDelay(); it takes a new one after the resume. Every call is
// asynchronous; without either bus the other still works.
class SessionLockWatcher : public QObject
{
    Q_OBJECT

public:
    static inline const QString kLogin1Service = QStringLiteral("org.freedesktop.login1");
    static inline const QString kLogin1Path = QStringLiteral("/org/freedesktop/login1");
    static inline const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
    static inline const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");

    explicit SessionLockWatcher(QObject* parent = nullptr,
                                QDBusConnection sessionBus = QDBusConnection::sessionBus(),
                                QDBusConnection systemBus = QDBusConnection::systemBus());

    void start();
    // Lets the computer go to sleep (closes the inhibitor).
    void releaseSleepDelay();
    bool holdsSleepDelay() const { return m_delay.isValid(); }
    // logind's object of this session, once known.
    QString sessionPath() const { return m_sessionPath; }

Q_SIGNALS:
    void sessionLocked();
    // The computer sleeps once the sleep delay is released.
    void aboutToSleep();
    // A sleep delay was taken (tests wait for it).
    void sleepDelayTaken();

private Q_SLOTS:
    void onScreenSaverActiveChanged(bool active);
    void onSessionLock(const QDBusMessage& message);
    void onPrepareForSleep(bool start);

private:
    void findSession();
    void takeSleepDelay();

    QDBusConnection m_session;
    QDBusConnection m_system;
    QString m_sessionPath;
    bool m_sessionLookupDone = false;
    QDBusUnixFileDescriptor m_delay;
    bool m_delayRequested = false;
    bool m_started = false;
};

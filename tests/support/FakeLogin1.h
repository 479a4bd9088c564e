#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QProcess>
#include <QStringList>

// A private bus standing in for the system bus (a program finds it through
// DBUS_SYSTEM_BUS_ADDRESS), with a login manager on it: it names the caller's session, hands out
// sleep inhibitors (pipes, so the test sees when the holder closes its end) and sends the lock
// and sleep signals the test asks for.
class FakeLogin1 : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    static inline const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_3zv");

    ~FakeLogin1() override;
    // Starts the bus and the service on it.
    bool start();
    QString address() const { return m_address; }

    void lockSession(const QString& path = kSessionPath);
    void prepareForSleep(bool start);
    // Inhibitors handed out whose holder has not closed them yet.
    int openInhibitors() const;

    int inhibitorsTaken = 0;
    QStringList inhibitModes; // "what/mode" of each call

public Q_SLOTS:
    QDBusObjectPath GetSessionByPID(uint pid);
    QDBusObjectPath GetSession(const QString& id);
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode);

private:
    void emitSignal(const QString& path, const QString& interface, const QString& name,
                    const QVariant& argument);

    QProcess m_daemon;
    QString m_address;
    QString m_connectionName;
    QList<int> m_readEnds;
};

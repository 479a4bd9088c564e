#include "tests/support/FakeLogin1.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QUuid>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

FakeLogin1::~FakeLogin1()
{
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    for (int fd : std::as_const(m_readEnds))
        ::close(fd);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
}

bool FakeLogin1::start()
{
    m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(5000) || !m_daemon.waitForReadyRead(5000))
        return false;
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    m_connectionName = QStringLiteral("fake-login1-") + QUuid::createUuid().toString(QUuid::Id128);
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
    return bus.isConnected() &&
           bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.login1"));
}

void FakeLogin1::emitSignal(const QString& path, const QString& interface, const QString& name,
                            const QVariant& argument)
{
    QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
    if (argument.isValid())
        signal << argument;
    QDBusConnection(m_connectionName).send(signal);
}

void FakeLogin1::lockSession(const QString& path)
{
    emitSignal(path, QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Lock"), {});
}

void FakeLogin1::prepareForSleep(bool start)
{
    emitSignal(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
               QStringLiteral("PrepareForSleep"), start);
}

int FakeLogin1::openInhibitors() const
{
    int open = 0;
    for (int fd : m_readEnds) {
        // Once every copy of the write end is closed the read end reports a hang-up.
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) == 0 || !(p.revents & POLLHUP))
            ++open;
    }
    return open;
}

QDBusObjectPath FakeLogin1::GetSessionByPID(uint)
{
    return QDBusObjectPath(kSessionPath);
}

QDBusObjectPath FakeLogin1::GetSession(const QString&)
{
    return QDBusObjectPath(kSessionPath);
}

QDBusUnixFileDescriptor FakeLogin1::Inhibit(const QString& what, const QString&, const QString&,
                                            const QString& mode)
{
    ++inhibitorsTaken;
    inhibitModes.append(what + QLatin1Char('/') + mode);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    m_readEnds.append(fds[0]);
    // The descriptor object keeps a copy of its own, which goes once the reply is sent.
    QDBusUnixFileDescriptor writeEnd(fds[1]);
    ::close(fds[1]);
    return writeEnd;
}

#include "platform/SingleInstance.h"

#include "core/system/Logging.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

const QString kObjectPath = QStringLiteral("/com/tarnwick/Zorvane/Application");
const QString kInterface = QStringLiteral("com.tarnwick.Zorvane.Application");

} // namespace

SingleInstance::SingleInstance(const QString& busName, QObject* parent, QDBusConnection bus)
    : QObject(parent), m_busName(busName), m_bus(std::move(bus))
{}

bool SingleInstance::claim()
{
    if (!m_bus.isConnected()) {
        // Without a session bus there is no way to find another copy: run.
        m_primary = true;
        return false;
    }
    m_bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots);
    const auto reply =
        m_bus.interface()->registerService(m_busName, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_primary = true;
        return true;
    }
    m_bus.unregisterObject(kObjectPath);
    qCInfo(lcPlatform) << m_busName << "already runs; asking it to come forward";
    const QDBusMessage call =
        QDBusMessage::createMethodCall(m_busName, kObjectPath, kInterface, QStringLiteral("Reopen"));
    m_bus.call(call, QDBus::Block, 5000);
    m_primary = false;
    return false;
}

void SingleInstance::Reopen()
{
    Q_EMIT reopenRequested();
}

#include "core/files/JobVerdict.h"

#include "core/system/Logging.h"

#include <csignal>

bool JobVerdict::fail(const QString& why)
{
    qCWarning(lcFiles).noquote() << m_doing << m_subject << "failed:" << why;
    std::lock_guard lock(m_mutex);
    if (m_failure.isEmpty())
        m_failure = why;
    return false;
}

QString JobVerdict::failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

bool JobVerdict::pass(const char* point, bool hookLetsGo)
{
    if (!hookLetsGo) {
        m_noVerdict = true;
        return false;
    }
    killPoint(point);
    return true;
}

void JobVerdict::killPoint(const char* point)
{
    const QByteArray wanted = qgetenv(kKillAtVariable);
    if (!wanted.isEmpty() && wanted == point)
        ::raise(SIGKILL);
}

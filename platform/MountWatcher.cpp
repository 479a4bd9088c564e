#include "platform/MountWatcher.h"

#include "core/system/Logging.h"

#include <QFile>
#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>

MountWatcher::MountWatcher(const QString& mountInfoPath, QObject* parent)
    : QObject(parent), m_path(mountInfoPath)
{
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        qCWarning(lcPlatform) << "cannot watch the mount table" << m_path;
        return;
    }
    m_mountPoints = readMountPoints();
    // The exception notifier is the one Qt polls with POLLPRI.
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &MountWatcher::tableChanged);
}

MountWatcher::~MountWatcher()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

QStringList MountWatcher::readMountPoints()
{
    ++m_readCount;
    // Reading through the watched descriptor keeps the kernel's change marker in step with
    // what was read.
    QByteArray table;
    if (::lseek(m_fd, 0, SEEK_SET) == 0) {
        char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            table.append(buffer, n);
        }
    }
    QStringList points;
    for (const MountEntry& entry : MountTable::parse(table))
        points.append(entry.mountPoint);
    return points;
}

void MountWatcher::tableChanged()
{
    const QStringList before = m_mountPoints;
    m_mountPoints = readMountPoints();
    QStringList gone = before;
    QStringList added;
    for (const QString& point : std::as_const(m_mountPoints))
        if (!gone.removeOne(point))
            added.append(point);
    for (const QString& point : std::as_const(added))
        Q_EMIT didMount(point);
    for (const QString& point : std::as_const(gone))
        Q_EMIT didUnmount(point);
}

#pragma once

#include "core/vault/MountTable.h"

#include <QObject>
#include <QStringList>

class QSocketNotifier;

// Reports volumes mounted and unmounted in this process's mount namespace. The kernel marks
// /proc/self/mountinfo with POLLPRI whenever the table changes, so the watcher sleeps in the
// event loop until then and never polls.
class MountWatcher : public QObject
{
    Q_OBJECT
public:
    explicit MountWatcher(const QString& mountInfoPath = MountTable::defaultPath(),
                          QObject* parent = nullptr);
    ~MountWatcher() override;

    // False when the mount table could not be opened; nothing is reported then.
    bool isWatching() const { return m_fd >= 0; }
    // Mount points as last read.
    QStringList mountPoints() const { return m_mountPoints; }
    // How often the table was read since the watcher started (diagnostics and tests).
    int readCount() const { return m_readCount; }

Q_SIGNALS:
    // One signal per mount point that appeared or disappeared, mounts first.
    void didMount(const QString& mountPoint);
    void didUnmount(const QString& mountPoint);

private:
    void tableChanged();
    QStringList readMountPoints();

    QString m_path;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QStringList m_mountPoints;
    int m_readCount = 0;
};

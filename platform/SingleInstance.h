#pragma once

#include <QDBusConnection>
#include <QObject>

// Keeps one running copy of a program per session. The first copy owns a bus name; a later
// copy asks it to come forward (reopen) and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tarnwick.Zorvane.Application")
public:
    SingleInstance(const QString& busName, QObject* parent = nullptr,
                   QDBusConnection bus = QDBusConnection::sessionBus());

    // True when this copy owns the name and listens for reopen requests. False when another
    // copy runs (it has then been asked to reopen) or there is no session bus; with no bus this
    // copy still runs, see isPrimary().
    bool claim();
    bool isPrimary() const { return m_primary; }

public Q_SLOTS:
    Q_SCRIPTABLE void Reopen();

Q_SIGNALS:
    void reopenRequested();

private:
    QString m_busName;
    QDBusConnection m_bus;
    bool m_primary = false;
};

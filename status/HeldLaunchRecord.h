#pragma once

#include "platform/LaunchHold.h"

#include <QList>
#include <QString>

// The launches the helper holds stopped, written down whenever they change, so that a helper
// started again after a crash ends or restarts them instead of leaving them stopped. Kept in
// the session's runtime folder, which goes with the session, as the processes do.
class HeldLaunchRecord
{
public:
    struct Launch
    {
        QString item;
        QString vault;
        QString processName;
        QString sandboxId;
        QList<LaunchHold::Member> members; // the launched process first
    };

    static QString defaultPath();
    explicit HeldLaunchRecord(const QString& path = defaultPath()) : m_path(path) {}

    // An empty list removes the record.
    bool write(const QList<Launch>& launches) const;
    QList<Launch> read() const;
    QString path() const { return m_path; }

private:
    QString m_path;
};

#pragma once

#include <QList>
#include <QObject>
#include <functional>

class NoticePort;
class StatusAttachDiskImageController;

// Locks the vaults of protected items when the session locks or the computer is about to
// sleep, while "AutoLock" is on (an absent switch counts as on). Only the plain eject is used:
// no background process is stopped and nothing is forced, so a vault with files open stays
// attached and the sticky "Can't Lock vault: %@" notice names who holds it.
class SessionAutoLock : public QObject
{
    Q_OBJECT

public:
    // Before sleep the computer waits at most this long for the locks.
    static constexpr int kSleepWaitMs = 4000;

    SessionAutoLock(StatusAttachDiskImageController* controller, NoticePort* notices,
                    QObject* parent = nullptr);

    // Locks every mounted vault that holds a protected item; done runs once every lock has
    // ended, or after kSleepWaitMs at the latest.
    void lockAll(std::function<void()> done = {});

Q_SIGNALS:
    // One round of locks has ended.
    void finished();

private:
    struct Waiting
    {
        int id;
        std::function<void()> done;
    };
    // Runs the done of one caller (id), or of all when id is 0.
    void release(int id);

    StatusAttachDiskImageController* m_controller;
    NoticePort* m_notices;
    int m_running = 0;
    int m_nextId = 1;
    QList<Waiting> m_waiting;
};

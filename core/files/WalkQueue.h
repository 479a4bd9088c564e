#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Runs file-tree walks (sizes, measurements) on worker threads so no window waits for a disk,
// and hands each result back on the thread that owns the queue.
//
// Two walks of overlapping trees (the same folder, or one inside the other) never run at once:
// they would only fight over the same disk and caches. A request that is already waiting under
// the same key is joined instead of queued twice (the newest work is the one done); one whose walk is running
// is queued again, so its answer includes what changed meanwhile.
class WalkQueue : public QObject
{
    Q_OBJECT
public:
    using Work = std::function<QVariant()>;
    using Done = std::function<void(const QVariant&)>;

    explicit WalkQueue(int threads = 2, QObject* parent = nullptr);
    // Waits for the walks that are running; queued ones are dropped unanswered.
    ~WalkQueue() override;

    // Runs work for the tree at root on a worker. done runs on this object's thread, unless
    // context is gone by then. An empty root walks nothing and never waits for another walk.
    void enqueue(const QString& key, const QString& root, Work work, QObject* context, Done done);
    // The size of the file or folder tree at path, as FileOperation::GetCapacity gives it.
    void measure(const QString& path, QObject* context, std::function<void(quint64)> done);

    // The same, for a caller that can't go on without the answer: waits for it in an event loop
    // that keeps timers and repaints going but holds user input back.
    QVariant runWhileWaiting(const QString& key, const QString& root, Work work);
    quint64 measureWhileWaiting(const QString& path);

    // Requests queued, running, or answered but not yet delivered.
    int pendingCount() const;
    // Runs the event loop until every request is answered; false on timeout. For tests and
    // benchmarks.
    bool waitForIdle(int timeoutMs);

    static bool overlaps(const QString& a, const QString& b);

private:
    struct Request
    {
        QString key;
        QString root;
        Work work;
        QList<QPair<QPointer<QObject>, Done>> answers;
    };

    static Work sizeOf(const QString& path);
    void runWorker();
    std::shared_ptr<Request> takeRunnable(); // with m_mutex held
    void deliver(const std::shared_ptr<Request>& request, const QVariant& result);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::list<std::shared_ptr<Request>> m_waiting;
    QStringList m_runningRoots;
    int m_pending = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

#include "core/files/WalkQueue.h"

#include "core/files/TreeSize.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

namespace {
constexpr int kNiceness = 10;
} // namespace

WalkQueue::WalkQueue(int threads, QObject* parent) : QObject(parent)
{
    for (int i = 0; i < std::max(1, threads); ++i)
        m_threads.emplace_back([this] { runWorker(); });
}

WalkQueue::~WalkQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_waiting.clear();
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

bool WalkQueue::overlaps(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const auto inside = [](const QString& inner, const QString& outer) {
        return inner.startsWith(outer) && (inner.size() == outer.size() || outer.endsWith(QLatin1Char('/')) ||
                                           inner.at(outer.size()) == QLatin1Char('/'));
    };
    return inside(a, b) || inside(b, a);
}

void WalkQueue::enqueue(const QString& key, const QString& root, Work work, QObject* context, Done done)
{
    const QString cleanRoot = root.isEmpty() ? QString() : QDir::cleanPath(root);
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        ++m_pending;
        for (const std::shared_ptr<Request>& waiting : m_waiting) {
            if (waiting->key == key) {
                // The newest request knows best what is to be done (a state to write, say).
                waiting->work = std::move(work);
                waiting->answers.append({QPointer<QObject>(context), std::move(done)});
                return;
            }
        }
        auto request = std::make_shared<Request>();
        request->key = key;
        request->root = cleanRoot;
        request->work = std::move(work);
        request->answers.append({QPointer<QObject>(context), std::move(done)});
        m_waiting.push_back(std::move(request));
    }
    m_wake.notify_one();
}

void WalkQueue::measure(const QString& path, QObject* context, std::function<void(quint64)> done)
{
    enqueue(QStringLiteral("size:") + path, path, sizeOf(path), context,
            [done = std::move(done)](const QVariant& result) { done(result.value<quint64>()); });
}

WalkQueue::Work WalkQueue::sizeOf(const QString& path)
{
    return [path] {
        return QVariant::fromValue(TreeSize::measure(path));
    };
}

QVariant WalkQueue::runWhileWaiting(const QString& key, const QString& root, Work work)
{
    QEventLoop loop;
    QVariant answer;
    bool answered = false;
    enqueue(key, root, std::move(work), &loop, [&](const QVariant& result) {
        answer = result;
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return answer;
}

quint64 WalkQueue::measureWhileWaiting(const QString& path)
{
    return runWhileWaiting(QStringLiteral("size:") + path, path, sizeOf(path)).value<quint64>();
}

std::shared_ptr<WalkQueue::Request> WalkQueue::takeRunnable()
{
    for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
        const QString& root = (*it)->root;
        const bool blocked = std::any_of(m_runningRoots.cbegin(), m_runningRoots.cend(),
                                         [&](const QString& running) { return overlaps(root, running); });
        if (blocked)
            continue;
        std::shared_ptr<Request> request = *it;
        m_waiting.erase(it);
        m_runningRoots.append(request->root);
        return request;
    }
    return nullptr;
}

void WalkQueue::runWorker()
{
    // Walks are background work: a window's thread gets the processor first. The threads a walk
    // starts inherit this.
    ::setpriority(PRIO_PROCESS, pid_t(::gettid()), kNiceness);
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || (request = takeRunnable()) != nullptr; });
            if (!request)
                return;
        }
        const QVariant result = request->work();
        {
            std::lock_guard lock(m_mutex);
            m_runningRoots.removeOne(request->root);
        }
        // A walk that waited for this tree may start now.
        m_wake.notify_all();
        QMetaObject::invokeMethod(
            this, [this, request, result] { deliver(request, result); }, Qt::QueuedConnection);
    }
}

void WalkQueue::deliver(const std::shared_ptr<Request>& request, const QVariant& result)
{
    for (const auto& [context, done] : std::as_const(request->answers)) {
        {
            std::lock_guard lock(m_mutex);
            --m_pending;
        }
        if (context)
            done(result);
    }
}

int WalkQueue::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_pending;
}

bool WalkQueue::waitForIdle(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (pendingCount() > 0) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

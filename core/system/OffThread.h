#pragma once

#include <QEventLoop>
#include <QMetaObject>
#include <atomic>
#include <optional>
#include <thread>
#include <type_traits>

// Runs work on a thread of its own and waits for it in a local event loop that leaves user input
// queued, as the attach waits for the tool: timers, repaints and spinners go on while a tree is
// walked, and nothing can be clicked twice. work must not touch widgets.
class OffThread
{
public:
    template<typename Work> static auto wait(Work work) -> decltype(work())
    {
        using Result = decltype(work());
        QEventLoop loop;
        std::atomic<bool> done{false};
        if constexpr (std::is_void_v<Result>) {
            std::thread worker([&] {
                work();
                finished(loop, done);
            });
            waitFor(loop, done, worker);
        } else {
            std::optional<Result> result;
            std::thread worker([&] {
                result.emplace(work());
                finished(loop, done);
            });
            waitFor(loop, done, worker);
            return std::move(*result);
        }
    }

private:
    static void finished(QEventLoop& loop, std::atomic<bool>& done)
    {
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    static void waitFor(QEventLoop& loop, const std::atomic<bool>& done, std::thread& worker)
    {
        if (!done)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        worker.join();
    }
};

#pragma once

#include <QString>
#include <atomic>
#include <mutex>

// How a file job's worker ends, read by the thread that owns the job: the first failure (later
// ones are consequences), or a stop by a test hook without any verdict.
class JobVerdict
{
public:
    // doing names the job in the log ("protecting", "restoring"), subject what it works on.
    JobVerdict(const char* doing, QString subject) : m_doing(doing), m_subject(std::move(subject)) {}

    // Logs why, keeps it when it is the first; always false, for `return fail(...)`.
    bool fail(const QString& why);
    QString failure() const;

    // At a named point of the worker: false (the test hook said stop) stops it without a verdict;
    // otherwise the point named by ZV_TEST_KILL_AT kills the process. Returns whether to go on.
    bool pass(const char* point, bool hookLetsGo);
    bool stoppedWithoutVerdict() const { return m_noVerdict.load(); }

    static inline const char* kKillAtVariable = "ZV_TEST_KILL_AT";
    // Tests cut a job off at named points with SIGKILL, as a crash or power loss would.
    static void killPoint(const char* point);

private:
    const char* m_doing;
    QString m_subject;
    mutable std::mutex m_mutex;
    QString m_failure;
    std::atomic<bool> m_noVerdict{false};
};

#include "core/vault/TrashRetries.h"

#include "core/processes/DaemonRuleRunner.h"
#include "core/system/Logging.h"

#include <chrono>
#include <thread>

namespace {

// The waits before the first, second and third attempts.
constexpr int kWaitsMs[] = {1000, 5000, 2000};

} // namespace

bool TrashRetries::wait(int milliseconds, const std::atomic<bool>& cancelled)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cancelled)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !cancelled;
}

QString TrashRetries::trash(const QString& path, const TrashAndTell& trash, const DaemonQuery& thirdAttempt,
                            const std::atomic<bool>& cancelled, QString* why)
{
    QString reason;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (attempt == 3)
            DaemonRuleRunner::runOnWorker(thirdAttempt, &cancelled);
        if (!wait(kWaitsMs[attempt - 1], cancelled)) {
            reason = QStringLiteral("cancelled");
            break;
        }
        const QString trashed = trash ? trash(path, &reason) : QString();
        if (!trashed.isEmpty())
            return trashed;
        qCInfo(lcFiles) << "attempt" << attempt << "to move" << path << "to the Trash failed:" << reason;
    }
    if (why)
        *why = reason;
    return {};
}

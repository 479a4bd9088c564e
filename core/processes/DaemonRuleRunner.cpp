#include "core/processes/DaemonRuleRunner.h"

#include "core/processes/DaemonQuitter.h"
#include "core/processes/ProcessInfo.h"
#include "core/system/Logging.h"

#include <chrono>
#include <thread>

namespace {

bool anyRuns(const QStringList& names)
{
    for (const QString& name : names)
        if (!ProcessInfo::pidsByName(name).isEmpty())
            return true;
    return false;
}

// SIGTERM to every running target, then SIGKILL to those still there after the grace time.
void quit(const QStringList& names, const std::atomic<bool>* cancelled)
{
    QStringList running;
    for (const QString& name : names)
        if (!ProcessInfo::pidsByName(name).isEmpty())
            running.append(name);
    if (running.isEmpty())
        return;
    for (const QString& name : std::as_const(running))
        ProcessInfo::QuitProcessesByName(name);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(DaemonQuitter::kGraceMs);
    while (anyRuns(running) && std::chrono::steady_clock::now() < deadline && !(cancelled && *cancelled))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (const QString& name : std::as_const(running))
        ProcessInfo::KillDaemonByName(name);
}

} // namespace

DaemonRuleRunner::Outcome DaemonRuleRunner::runOnWorker(const DaemonQuery& query,
                                                        const std::atomic<bool>* cancelled)
{
    Outcome outcome;
    for (const DaemonRule& rule : DaemonTable::rulesFor(query)) {
        if (cancelled && *cancelled)
            break;
        const bool onlyRunning = rule.conditions.testFlag(DaemonCondition::TargetRuns);
        switch (rule.action) {
        case DaemonAction::Quit:
            qCInfo(lcProcess) << "asking" << rule.targets << "to quit for" << query.applicationName;
            quit(rule.targets, cancelled);
            break;
        case DaemonAction::Stop:
            for (const QString& name : rule.targets)
                if (!onlyRunning || !ProcessInfo::pidsByName(name).isEmpty())
                    ProcessInfo::KillDaemonByName(name);
            break;
        case DaemonAction::JobError:
            if (!onlyRunning || anyRuns(rule.targets)) {
                outcome.jobError = true;
                outcome.title = rule.title;
                outcome.text = rule.text;
                return outcome;
            }
            break;
        default:
            // Commands, sheets, notices and login items belong to the scan and the completion.
            break;
        }
        if (rule.pauseMicroseconds > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(rule.pauseMicroseconds));
    }
    return outcome;
}

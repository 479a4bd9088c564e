#include "core/processes/ScanDaemonRunner.h"

#include "core/processes/DaemonQuitter.h"
#include "core/processes/ProcessInfo.h"
#include "core/system/DistributedNotificationCenter.h"
#include "core/system/Logging.h"

#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <QTimer>

namespace {

QStringList running(const QStringList& names)
{
    QStringList found;
    for (const QString& name : names)
        if (!ProcessInfo::pidsByName(name).isEmpty())
            found.append(name);
    return found;
}

void quitAndWait(const QStringList& names, int graceMs)
{
    DaemonQuitter quitter;
    QEventLoop loop;
    QObject::connect(&quitter, &DaemonQuitter::finished, &loop, &QEventLoop::quit);
    quitter.quitNamed(names, graceMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// True when the program ran and said it succeeded within the time allowed. No shell: the
// targets are the program and its arguments as they stand.
bool runCommand(const QStringList& commandLine, int timeoutMs)
{
    if (commandLine.isEmpty())
        return false;
    QProcess process;
    process.setProgram(commandLine.constFirst());
    process.setArguments(commandLine.mid(1));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            ended = true;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    process.start();
    if (!ended)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (process.state() != QProcess::NotRunning) {
        qCInfo(lcProcess) << commandLine << "did not end in time";
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.error() != QProcess::FailedToStart && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

ScanDaemonRunner::Outcome ScanDaemonRunner::run(const DaemonQuery& query, const Services& services)
{
    Outcome outcome;
    bool acted = false;
    bool commandFailed = false;
    for (const DaemonRule& rule : DaemonTable::rulesFor(query)) {
        const DaemonConditions when = rule.conditions;
        if (when.testFlag(DaemonCondition::CommandMissing) && !commandFailed)
            continue;
        if (when.testFlag(DaemonCondition::EarlierRowActed) && !acted)
            continue;
        const QStringList targets =
            when.testFlag(DaemonCondition::TargetRuns) ? running(rule.targets) : rule.targets;
        const bool needsTarget =
            rule.action != DaemonAction::Notification && rule.action != DaemonAction::Command;
        if (needsTarget && targets.isEmpty())
            continue;
        switch (rule.action) {
        case DaemonAction::Quit:
            qCInfo(lcProcess) << "asking" << targets << "to quit for" << query.applicationName;
            quitAndWait(targets, services.quitGraceMs);
            acted = true;
            break;
        case DaemonAction::Stop:
            for (const QString& name : targets)
                ProcessInfo::KillDaemonByName(name);
            acted = true;
            break;
        case DaemonAction::Command:
            commandFailed =
                !runCommand(rule.targets, rule.timeoutMs > 0 ? rule.timeoutMs : kCommandTimeoutMs);
            acted = acted || !commandFailed;
            break;
        case DaemonAction::RefusalSheet:
            outcome.refused = true;
            outcome.title = rule.title;
            outcome.text = QString(rule.text).replace(QStringLiteral("%@"), query.applicationName);
            return outcome;
        case DaemonAction::Notification:
            if (services.distributed && !rule.targets.isEmpty())
                services.distributed->post(rule.targets.constFirst(),
                                           {{QStringLiteral("AppName"), query.applicationName}});
            break;
        case DaemonAction::LoginItemRemoval:
            if (services.removeLoginItem && !rule.targets.isEmpty())
                services.removeLoginItem(rule.targets.constFirst());
            break;
        case DaemonAction::JobError:
            break;
        }
        if (rule.pauseMicroseconds > 0)
            QThread::usleep(quint64(rule.pauseMicroseconds));
    }
    return outcome;
}

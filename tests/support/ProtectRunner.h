#pragma once

#include "core/vault/ProtectWork.h"
#include "tests/support/TestPaths.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <csignal>

// tests/helpers/protect_runner as the kill tests start it: killed at a named point (killAt) or
// after killAfterMs, or left to finish.
namespace ProtectRunner {

struct Run
{
    int exitCode = -1;
    bool killed = false;
    QString errors;
};

inline Run run(const QStringList& arguments, const QString& killAt = QString(), int killAfterMs = -1)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!killAt.isEmpty())
        environment.insert(QString::fromLatin1(ProtectWork::kKillAtVariable), killAt);
    process.setProcessEnvironment(environment);
    process.start(TestPaths::helper(QStringLiteral("protect_runner")), arguments);
    Run result;
    if (!process.waitForStarted())
        return result;
    if (killAfterMs >= 0 && !process.waitForFinished(killAfterMs))
        ::kill(pid_t(process.processId()), SIGKILL);
    process.waitForFinished(120000);
    result.killed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

} // namespace ProtectRunner

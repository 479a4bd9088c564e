#include "tests/support/StandIns.h"

#include "core/processes/ProcTable.h"
#include "tests/support/TestPaths.h"

#include <QFile>
#include <QFileInfo>
#include <csignal>

StandIns::StandIns() = default;

StandIns::~StandIns()
{
    stopAll();
}

QString StandIns::program(const QString& name)
{
    const QString path = m_dir.filePath(name);
    if (!QFileInfo::exists(path))
        QFile::copy(TestPaths::helper(QStringLiteral("proc_holder")), path);
    return path;
}

QProcess* StandIns::start(const QString& name, const QStringList& arguments, bool waitReady,
                          const QProcessEnvironment& environment)
{
    auto process = std::make_unique<QProcess>();
    if (!environment.isEmpty())
        process->setProcessEnvironment(environment);
    process->start(program(name), arguments);
    if (!process->waitForStarted(10000))
        return nullptr;
    if (waitReady) {
        const QByteArray line =
            process->waitForReadyRead(10000) ? process->readLine().trimmed() : QByteArray();
        if (!line.startsWith("ready"))
            return nullptr;
        // "ready <pid>" names the child a forking stand-in started.
        process->setProperty("child", line.mid(6).toLongLong());
    }
    m_children.push_back(std::move(process));
    return m_children.back().get();
}

void StandIns::adopt(qint64 pid)
{
    if (pid > 0)
        m_adopted.append(pid);
}

void StandIns::stopAll()
{
    const ProcTable table;
    for (qint64 pid : std::as_const(m_adopted)) {
        // Only while it still runs one of our programs: a pid may have been given out again.
        if (table.executable(pid).startsWith(m_dir.path()))
            ::kill(pid_t(pid), SIGKILL);
    }
    m_adopted.clear();
    for (const auto& child : m_children) {
        if (child->state() != QProcess::NotRunning) {
            ::kill(pid_t(child->processId()), SIGCONT);
            child->kill();
            child->waitForFinished(5000);
        }
    }
    m_children.clear();
}

bool StandIns::ended(QProcess* process, int timeoutMs)
{
    return process->state() == QProcess::NotRunning || process->waitForFinished(timeoutMs);
}

WatchedProcess StandIns::describe(qint64 pid)
{
    const ProcTable table;
    ProcTable::Stat st;
    if (!table.readStat(pid, &st))
        return {};
    const QString exe = table.executable(pid);
    return {pid, st.parentPid, st.startTime, exe, exe};
}

char StandIns::state(qint64 pid)
{
    ProcTable::Stat st;
    return ProcTable().readStat(pid, &st) ? st.state : 0;
}

static QByteArrayList zeroSeparated(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray data = file.readAll();
    if (data.endsWith('\0'))
        data.chop(1);
    return data.split('\0');
}

QByteArrayList StandIns::arguments(qint64 pid)
{
    return zeroSeparated(QStringLiteral("/proc/%1/cmdline").arg(pid));
}

QByteArrayList StandIns::environment(qint64 pid)
{
    return zeroSeparated(QStringLiteral("/proc/%1/environ").arg(pid));
}

bool StandIns::holdsFileUnder(qint64 pid, const QString& folder)
{
    return ProcTable().holdsPathUnder(pid, QFile::encodeName(QFileInfo(folder).canonicalFilePath()));
}

#include "core/processes/ProcessInfo.h"

#include "core/processes/FolderHolders.h"
#include "core/system/Logging.h"
#include "core/system/LoginItemMarker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

// A short name holds 15 characters; a longer name is matched through the executable.
constexpr qsizetype kShortNameLength = 15;

bool isGone(const ProcTable& table, qint64 pid)
{
    ProcTable::Stat st;
    return !table.readStat(pid, &st) || st.state == 'Z' || st.state == 'X';
}

} // namespace

ProcessInfo::ProcessInfo(const QString& procRoot) : m_table(procRoot) {}

int ProcessInfo::getBSDProcessList(QList<KernelProcessRecord>* list, qsizetype* count) const
{
    Q_ASSERT(list && list->isEmpty() && count);
    int error = 0;
    const QList<qint64> pids = m_table.pids(&error);
    if (error != 0) {
        *count = 0;
        return error;
    }
    list->reserve(pids.size());
    for (qint64 pid : pids) {
        ProcTable::Stat st;
        // Processes come and go while we read: one that ended meanwhile is simply not listed.
        if (m_table.readStat(pid, &st) && st.state != 'Z' && st.state != 'X')
            list->append({pid, st.comm});
    }
    *count = list->size();
    return 0;
}

void ProcessInfo::obtainFreshProcessList()
{
    QList<KernelProcessRecord> records;
    qsizetype count = 0;
    m_processList.clear();
    m_pidDarwinList.clear();
    if (getBSDProcessList(&records, &count) != 0) {
        m_numberOfProcesses = -1;
        m_hasSnapshot = false;
        return;
    }
    for (const KernelProcessRecord& r : records) {
        m_processList.append(r.comm);
        m_pidDarwinList.append(QString::number(r.pid));
    }
    m_numberOfProcesses = int(count);
    m_hasSnapshot = true;
}

bool ProcessInfo::findProcessWithName(const QString& name) const
{
    if (!m_hasSnapshot)
        return false;
    for (const QString& comm : m_processList) {
        if (comm.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return findCarbonProcessWithName(name);
}

int ProcessInfo::findProcessWithNameForNum(const QString& name) const
{
    int n = 0;
    for (const QString& comm : m_processList) {
        if (comm.compare(name, Qt::CaseInsensitive) == 0)
            ++n;
    }
    return n;
}

QList<ProcessInfo::Application> ProcessInfo::applications() const
{
    QList<Application> apps;
    for (qint64 pid : m_table.pids()) {
        if (!m_table.isOwnProcess(pid))
            continue;
        const QString exe = m_table.executable(pid);
        if (!exe.isEmpty())
            apps.append({pid, ProcTable::applicationName(exe).toLower()});
    }
    return apps;
}

bool ProcessInfo::findCarbonProcessWithName(const QString& name) const
{
    const QString wanted = name.toLower();
    for (const Application& app : applications()) {
        if (app.name == wanted)
            return true;
    }
    return false;
}

QString ProcessInfo::findProcessnameWithPid(const QString& pidText) const
{
    bool ok = false;
    const qint64 pid = pidText.trimmed().toLongLong(&ok);
    if (!ok || pid <= 0 || !m_table.isOwnProcess(pid))
        return QString();
    const QString exe = m_table.executable(pid);
    return exe.isEmpty() ? QString() : ProcTable::applicationName(exe).toLower();
}

QString ProcessInfo::FolderOpenByProcess(const QString& folderPath)
{
    return FolderOpenByProcess(folderPath, 0);
}

QString ProcessInfo::FolderOpenByProcess(const QString& folderPath, qint64 skipPid)
{
    if (folderPath.isEmpty())
        return QString();
    const QString canonical = QFileInfo(folderPath).canonicalFilePath();
    if (canonical.isEmpty())
        return QString();
    QStringList names;
    for (qint64 pid : FolderHolders(canonical, m_table.root()).pids(skipPid)) {
        const QString name = findProcessnameWithPid(QString::number(pid));
        if (!name.isNull())
            names.append(name);
    }
    return names.isEmpty() ? QString() : names.join(QLatin1Char(','));
}

bool ProcessInfo::argumentsMarkLoginItem(const QStringList& arguments)
{
    return arguments.mid(1).contains(kLoginItemMarker);
}

bool ProcessInfo::wasLaunchedAsLoginItem()
{
    return argumentsMarkLoginItem(ProcTable().arguments(getpid()));
}

bool ProcessInfo::wasLaunchedByProcess(const QString& creatorCode)
{
    return creatorCode == QLatin1String("lgnw") && wasLaunchedAsLoginItem();
}

bool ProcessInfo::stopApplication(const ProcTable& table, qint64 pid)
{
    // Ask first so the application can save its data; insist only if it doesn't go.
    if (::kill(pid_t(pid), SIGTERM) != 0)
        return false;
    QElapsedTimer waited;
    waited.start();
    while (!isGone(table, pid) && waited.elapsed() < 3000)
        QThread::msleep(20);
    if (!isGone(table, pid))
        ::kill(pid_t(pid), SIGKILL);
    return true;
}

int ProcessInfo::KillProcessByName(const QString& applicationName)
{
    const ProcessInfo info;
    const QString wanted = applicationName.toLower();
    for (const Application& app : info.applications()) {
        ProcTable::Stat st;
        if (app.name != wanted || app.pid == getpid() || !info.m_table.readStat(app.pid, &st))
            continue;
        if (st.parentPid == getpid())
            return 2;
        stopApplication(info.m_table, app.pid);
        return 1;
    }
    return 0;
}

int ProcessInfo::KillAnyProcessByName(const QString& applicationName)
{
    const ProcessInfo info;
    const QString wanted = applicationName.toLower();
    for (const Application& app : info.applications()) {
        if (app.name == wanted && app.pid != getpid())
            stopApplication(info.m_table, app.pid);
    }
    return 1;
}

QList<qint64> ProcessInfo::pidsByName(const QString& name)
{
    QList<qint64> found;
    if (name.isEmpty())
        return found;
    const ProcTable table;
    for (qint64 pid : table.pids()) {
        if (pid == getpid() || !table.isOwnProcess(pid))
            continue;
        ProcTable::Stat st;
        if (!table.readStat(pid, &st) || st.state == 'Z' || st.state == 'X')
            continue;
        // Exact names only. A short name of full length may be cut from a longer one, so then the
        // executable (or, for a script, the program it was started as) has the last word.
        bool matches = false;
        if (st.comm.size() < kShortNameLength) {
            matches = st.comm == name;
        } else if (name.startsWith(st.comm)) {
            QString program = table.executable(pid);
            if (QFileInfo(program).fileName() != name)
                program = table.arguments(pid).value(0);
            matches = QFileInfo(program).fileName() == name;
        }
        if (matches)
            found.append(pid);
    }
    return found;
}

bool ProcessInfo::ownProcessRuns(const QString& name)
{
    if (name.isEmpty())
        return false;
    const ProcTable table;
    for (qint64 pid : table.pids()) {
        ProcTable::Stat st;
        if (pid == getpid() || !table.isOwnProcess(pid) || !table.readStat(pid, &st) || st.state == 'Z' ||
            st.state == 'X')
            continue;
        if (st.comm.compare(name, Qt::CaseInsensitive) == 0)
            return true;
        if (st.comm.size() >= kShortNameLength && name.startsWith(st.comm, Qt::CaseInsensitive) &&
            QFileInfo(table.executable(pid)).fileName().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void ProcessInfo::signalByName(const QString& name, int signal)
{
    for (qint64 pid : pidsByName(name)) {
        qCInfo(lcProcess) << "Sending signal" << signal << "to" << name << pid;
        ::kill(pid_t(pid), signal);
    }
}

void ProcessInfo::KillDaemonByName(const QString& name)
{
    signalByName(name, SIGKILL);
}

void ProcessInfo::QuitProcessesByName(const QString& name)
{
    signalByName(name, SIGTERM);
}

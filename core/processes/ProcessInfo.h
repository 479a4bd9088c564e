#pragma once

#include "core/processes/ProcTable.h"

#include <QList>
#include <QString>
#include <QStringList>

// One entry of the kernel's process table.
struct KernelProcessRecord
{
    qint64 pid = 0;
    QString comm;
};

// Which programs run, which hold files open under a folder, and stopping them.
//
// Two views of the processes: the kernel table (every process, its short name of at most 15
// characters) and the application list (the user's own processes with a readable executable;
// an application's name is its executable's file name without extension).
class ProcessInfo
{
public:
    explicit ProcessInfo(const QString& procRoot = ProcTable::defaultRoot());

    // 0 or an errno value. list must point at an empty list, count must not be null.
    int getBSDProcessList(QList<KernelProcessRecord>* list, qsizetype* count) const;
    void obtainFreshProcessList();
    // Case-insensitive; falls back to the application list for names the short name can't hold.
    bool findProcessWithName(const QString& name) const;
    int findProcessWithNameForNum(const QString& name) const;
    bool findCarbonProcessWithName(const QString& name) const;
    // Lower-cased application name of a process id given as text, or null.
    QString findProcessnameWithPid(const QString& pid) const;
    // Comma-separated names of the applications that hold the folder or anything below it open
    // (working folder, open file or mapped file), in process-id order; null when none does.
    QString FolderOpenByProcess(const QString& folderPath);
    // The same, leaving out the process skipPid (a caller's own measuring walk is no holder).
    QString FolderOpenByProcess(const QString& folderPath, qint64 skipPid);

    int numberOfProcesses() const { return m_numberOfProcesses; }
    void setNumberOfProcesses(int value) { m_numberOfProcesses = value; }
    const QStringList& processList() const { return m_processList; }
    const QStringList& pidDarwinList() const { return m_pidDarwinList; }

    // Linux has no launcher creator codes: the login window's code "lgnw" asks whether this
    // program was started from its autostart entry; every other code is false.
    static bool wasLaunchedByProcess(const QString& creatorCode);
    static bool wasLaunchedAsLoginItem();
    static bool argumentsMarkLoginItem(const QStringList& arguments);

    // 0 none found; 1 the first matching application was stopped; 2 it was started by this
    // program and was left running.
    static int KillProcessByName(const QString& applicationName);
    static int KillAnyProcessByName(const QString& applicationName);
    // SIGKILL to the user's processes whose short name is exactly the name, or, for names longer
    // than a short name can hold, whose executable's file name is exactly the name.
    static void KillDaemonByName(const QString& name);
    // SIGTERM to the user's processes of that name (matched as above): asks them to quit.
    static void QuitProcessesByName(const QString& name);
    // The user's live processes those two would signal (this one never).
    static QList<qint64> pidsByName(const QString& name);
    // Whether one of the user's own processes carries the name, without regard to case (short
    // name, or the executable's file name for longer names). Other users' programs never count.
    static bool ownProcessRuns(const QString& name);

private:
    struct Application
    {
        qint64 pid;
        QString name; // lower-cased
    };
    QList<Application> applications() const;
    static bool stopApplication(const ProcTable& table, qint64 pid);
    static void signalByName(const QString& name, int signal);

    ProcTable m_table;
    int m_numberOfProcesses = -1;
    bool m_hasSnapshot = false;
    QStringList m_processList;
    QStringList m_pidDarwinList;
};

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reads processes from a /proc tree. The root is a parameter so the scans can be tested on a
// made-up tree as well as on the live one.
class ProcTable
{
public:
    struct Stat
    {
        qint64 pid = 0;
        QString comm; // the kernel's short name, at most 15 characters
        char state = '?';
        qint64 parentPid = 0;
        quint64 startTime = 0; // clock ticks after boot: a pid used again has another one
    };

    explicit ProcTable(const QString& root = defaultRoot());
    static QString defaultRoot() { return QStringLiteral("/proc"); }
    QString root() const;

    // Every process id, ascending; 0 ids when the root can't be read (errorCode says why).
    QList<qint64> pids(int* errorCode = nullptr) const;
    bool readStat(qint64 pid, Stat* out) const;
    // Target of the exe link without a " (deleted)" mark; null when it can't be read (another
    // user's process, a kernel thread, a zombie).
    QString executable(qint64 pid) const;
    QStringList arguments(qint64 pid) const;
    // Processes of the effective user, which are the ones we may inspect and signal.
    bool isOwnProcess(qint64 pid) const;
    // Whether the process has the folder (or anything below it) as its working or root folder,
    // an open file or a mapped file (see FolderHolders, which scans every process at once).
    bool holdsPathUnder(qint64 pid, const QByteArray& canonicalFolder) const;

    // Name of an application from its executable: last component without its extension.
    static QString applicationName(const QString& executablePath);

    // <root>/<pid>/<entry>, or <root>/<pid> for a null entry.
    QByteArray pidPath(qint64 pid, const char* entry) const;

private:
    QByteArray m_root;
};

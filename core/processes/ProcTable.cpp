#include "core/processes/ProcTable.h"

#include "core/processes/FolderHolders.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readSmallFile(const QByteArray& path)
{
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    QByteArray data;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        data.append(buffer, n);
    close(fd);
    return data;
}

QByteArray readLinkAt(int dirFd, const char* name)
{
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlinkat(dirFd, name, buffer, PATH_MAX);
    return n <= 0 ? QByteArray() : QByteArray(buffer, n);
}

QByteArray withoutDeletedMark(QByteArray path)
{
    static const QByteArray mark(" (deleted)");
    if (path.endsWith(mark))
        path.chop(mark.size());
    return path;
}

} // namespace

ProcTable::ProcTable(const QString& root) : m_root(QFile::encodeName(root)) {}

QString ProcTable::root() const
{
    return QFile::decodeName(m_root);
}

QByteArray ProcTable::pidPath(qint64 pid, const char* entry) const
{
    return m_root + '/' + QByteArray::number(pid) +
           (entry && *entry ? QByteArray("/") + entry : QByteArray());
}

QList<qint64> ProcTable::pids(int* errorCode) const
{
    QList<qint64> result;
    DIR* dir = opendir(m_root.constData());
    if (errorCode)
        *errorCode = dir ? 0 : errno;
    if (!dir)
        return result;
    while (struct dirent* e = readdir(dir)) {
        char* end = nullptr;
        const long long pid = strtoll(e->d_name, &end, 10);
        if (pid > 0 && end && *end == 0)
            result.append(qint64(pid));
    }
    closedir(dir);
    std::sort(result.begin(), result.end());
    return result;
}

bool ProcTable::readStat(qint64 pid, Stat* out) const
{
    // "pid (comm) state ppid ...": the name may itself hold spaces and parentheses.
    const QByteArray data = readSmallFile(pidPath(pid, "stat"));
    const qsizetype open = data.indexOf('(');
    const qsizetype close = data.lastIndexOf(')');
    if (open < 0 || close < open || close + 4 > data.size())
        return false;
    out->pid = pid;
    out->comm = QString::fromUtf8(data.mid(open + 1, close - open - 1));
    const QList<QByteArray> fields = data.mid(close + 2).split(' ');
    if (fields.size() < 2 || fields[0].isEmpty())
        return false;
    out->state = fields[0].at(0);
    out->parentPid = fields[1].toLongLong();
    out->startTime = fields.size() > 19 ? fields[19].toULongLong() : 0;
    return true;
}

QString ProcTable::executable(qint64 pid) const
{
    const QByteArray target = readLinkAt(AT_FDCWD, pidPath(pid, "exe").constData());
    return target.startsWith('/') ? QFile::decodeName(withoutDeletedMark(target)) : QString();
}

QStringList ProcTable::arguments(qint64 pid) const
{
    QByteArray data = readSmallFile(pidPath(pid, "cmdline"));
    if (data.endsWith('\0'))
        data.chop(1);
    QStringList args;
    if (data.isEmpty())
        return args;
    for (const QByteArray& a : data.split('\0'))
        args.append(QString::fromLocal8Bit(a));
    return args;
}

bool ProcTable::isOwnProcess(qint64 pid) const
{
    struct stat st;
    return stat(pidPath(pid, nullptr).constData(), &st) == 0 && st.st_uid == geteuid();
}

bool ProcTable::holdsPathUnder(qint64 pid, const QByteArray& folder) const
{
    const int pidFd = open(pidPath(pid, nullptr).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (pidFd < 0)
        return false;
    const bool found = FolderHolders(QFile::decodeName(folder), root()).holds(pidFd);
    ::close(pidFd);
    return found;
}

QString ProcTable::applicationName(const QString& executablePath)
{
    const QString file = QFileInfo(executablePath).fileName();
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? file.left(dot) : file;
}

#include "tests/support/FakeProcTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(data);
}

void relink(const QString& link, const QString& target)
{
    QFile::remove(link);
    QFile::link(target, link);
}

} // namespace

void FakeProcTree::writeStat(qint64 pid, qint64 parentPid, const QString& comm)
{
    // The start time is field 22; the pid makes it unique enough here.
    writeFile(dir(pid) + QStringLiteral("/stat"),
              QStringLiteral("%1 (%2) S %3 0 0 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 %4 0 0\n")
                  .arg(pid)
                  .arg(comm)
                  .arg(parentPid)
                  .arg(pid * 10)
                  .toUtf8());
}

void FakeProcTree::add(qint64 pid, qint64 parentPid, const QString& executable, const QString& comm,
                       const QStringList& arguments, const QString& cgroup)
{
    QDir().mkpath(dir(pid));
    const QString name = comm.isEmpty() ? QFileInfo(executable).fileName().left(15) : comm;
    writeStat(pid, parentPid, name);
    relink(dir(pid) + QStringLiteral("/exe"), executable);
    relink(dir(pid) + QStringLiteral("/cwd"), QStringLiteral("/"));
    QByteArray cmdline;
    for (const QString& argument : arguments.isEmpty() ? QStringList{executable} : arguments)
        cmdline += argument.toUtf8() + '\0';
    writeFile(dir(pid) + QStringLiteral("/cmdline"), cmdline);
    writeFile(dir(pid) + QStringLiteral("/cgroup"), "0::" + cgroup.toUtf8() + '\n');
}

void FakeProcTree::setExecutable(qint64 pid, const QString& executable, const QString& comm)
{
    QFile stat(dir(pid) + QStringLiteral("/stat"));
    stat.open(QIODevice::ReadOnly);
    const QByteArray line = stat.readAll();
    const qint64 parentPid = line.mid(line.lastIndexOf(')') + 4).split(' ').value(0).toLongLong();
    writeStat(pid, parentPid, comm.isEmpty() ? QFileInfo(executable).fileName().left(15) : comm);
    relink(dir(pid) + QStringLiteral("/exe"), executable);
}

void FakeProcTree::setWorkingDirectory(qint64 pid, const QString& folder)
{
    relink(dir(pid) + QStringLiteral("/cwd"), folder);
}

void FakeProcTree::remove(qint64 pid)
{
    QDir(dir(pid)).removeRecursively();
}

void FakeProcTree::sandbox(qint64 pid, const QString& appId, const QStringList& visible)
{
    const QString root = dir(pid) + QStringLiteral("/root");
    QDir().mkpath(root);
    writeFile(root + QStringLiteral("/.flatpak-info"),
              "[Application]\nname=" + appId.toUtf8() + "\nruntime=runtime/org.freedesktop.Platform\n");
    for (const QString& entry : visible) {
        const QString path = entry.section(QStringLiteral("->"), 0, 0);
        const QString target = entry.section(QStringLiteral("->"), 1);
        if (target.isEmpty()) {
            QDir().mkpath(root + path);
        } else {
            QDir().mkpath(QFileInfo(root + path).path());
            relink(root + path, target);
        }
    }
}

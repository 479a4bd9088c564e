#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A made-up /proc tree: per process a folder with stat, cmdline, cgroup, an exe and a cwd link,
// and for a sandboxed one a root folder with .flatpak-info and the host paths it can see.
class FakeProcTree
{
public:
    QString root() const { return m_dir.path(); }
    void add(qint64 pid, qint64 parentPid, const QString& executable, const QString& comm = {},
             const QStringList& arguments = {}, const QString& cgroup = QStringLiteral("/"));
    void setExecutable(qint64 pid, const QString& executable, const QString& comm = {});
    void setWorkingDirectory(qint64 pid, const QString& folder);
    void remove(qint64 pid);
    // Puts the process into the sandbox of appId, seeing these host paths (folders, or links
    // when a target is given as "path->target").
    void sandbox(qint64 pid, const QString& appId, const QStringList& visible = {});

private:
    QString dir(qint64 pid) const { return m_dir.filePath(QString::number(pid)); }
    void writeStat(qint64 pid, qint64 parentPid, const QString& comm);

    QTemporaryDir m_dir;
};

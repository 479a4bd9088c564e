#pragma once

#include <QList>
#include <QString>

// Our own processes, other than the tool itself, that keep something below a folder open (a
// file, their working folder, their root or a mapped file), named by their short names.
struct FolderUser
{
    qint64 pid = 0;
    QString name;
};

class OpenFileScan
{
public:
    static QList<FolderUser> usersOf(const QString& folder,
                                     const QString& procRoot = QStringLiteral("/proc"));
    // "name (pid 12), other (pid 40)"
    static QString describe(const QList<FolderUser>& users);
};

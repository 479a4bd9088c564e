#pragma once

#include <QString>
#include <QStringList>

// The icon the desktop's application menu shows for a program: Icon= of the desktop entry whose
// TryExec or Exec runs it (or, for sandboxed exports, whose file is named after it).
class DesktopEntryIcon
{
public:
    // $XDG_DATA_HOME/applications, then applications/ of every $XDG_DATA_DIRS folder.
    static QStringList applicationFolders();
    // The Icon= value (a theme name or an absolute file), or empty. Reads every entry of the
    // folders: keep it off a window's thread.
    static QString iconNameFor(const QString& executable, const QStringList& folders = applicationFolders());
};

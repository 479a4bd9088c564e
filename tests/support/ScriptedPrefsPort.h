#pragma once

#include "app/prefs/PrefsPort.h"

#include <QStringList>

// Answers the folder chooser from a queue (an empty entry, or an empty queue, is Cancel) and
// keeps where each chooser started.
class ScriptedPrefsPort : public PrefsPort
{
public:
    QString chooseVaultFolder(QWidget* window, const QString& startFolder) override
    {
        windows.append(window);
        startFolders.append(startFolder);
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }

    QStringList folders;
    QList<QWidget*> windows;
    QStringList startFolders;
};

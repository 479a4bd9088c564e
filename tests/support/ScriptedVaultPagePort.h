#pragma once

#include "app/vaults/VaultPagePort.h"

#include <QList>
#include <QStringList>

// Records the notices the vault page shows and answers them and the two choosers from queues.
class ScriptedVaultPagePort : public VaultPagePort
{
public:
    struct Notice
    {
        QString title;
        QString text;
    };

    bool runMountNotice(const QString& title, const QString& text, QWidget*) override
    {
        notices.append({title, text});
        return tickDontShowAgain;
    }
    QString chooseDiskImage(QWidget*, const QString& startFolder) override
    {
        chooserFolders.append(startFolder);
        return chosenImages.isEmpty() ? QString() : chosenImages.takeFirst();
    }

    QString chooseDirectory(QWidget*, const QString& startFolder) override
    {
        directoryFolders.append(startFolder);
        return chosenFolders.isEmpty() ? QString() : chosenFolders.takeFirst();
    }

    bool tickDontShowAgain = false;
    QList<Notice> notices;
    QStringList chosenImages;
    QStringList chooserFolders;
    QStringList chosenFolders;
    QStringList directoryFolders;
};

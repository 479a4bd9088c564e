#pragma once

#include "app/items/ProtectPort.h"

#include <QDialog>
#include <QList>
#include <QStringList>

// Shows the request sheets for real (they run offscreen), answers the chooser and the reminder
// from queues and records the resize dialogs asked for.
class ScriptedProtectPort : public ProtectPort
{
public:
    void showSheet(QDialog* sheet, QWidget*) override
    {
        sheetsShown.append(sheet->objectName());
        sheet->open();
    }
    void endSheet(QDialog* sheet) override
    {
        sheetsEnded.append(sheet->objectName());
        sheet->close();
    }
    QString chooseFileOrFolder(QWidget*, const QString& startFolder) override
    {
        chooserFolders.append(startFolder);
        return chosen.isEmpty() ? QString() : chosen.takeFirst();
    }
    bool runWarningWindow(QWidget*, const QString& text) override
    {
        warnings.append(text);
        return tickShowNoMore;
    }
    void openResize(QWidget*, const ResizeOffer& offer) override { resizes.append(offer); }

    QStringList sheetsShown;
    QStringList sheetsEnded;
    QStringList chosen;
    QStringList chooserFolders;
    QStringList warnings;
    bool tickShowNoMore = false;
    QList<ResizeOffer> resizes;
};

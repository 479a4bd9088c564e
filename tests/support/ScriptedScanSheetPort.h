#pragma once

#include "app/items/ScanSheetPort.h"

#include <QDialog>

// Shows the scan's sheet for real (offscreen) and counts how often it came and went.
class ScriptedScanSheetPort : public ScanSheetPort
{
public:
    void showScanSheet(QDialog* sheet, QWidget*) override
    {
        ++shown;
        sheet->show();
    }
    void endScanSheet(QDialog* sheet) override
    {
        ++ended;
        sheet->hide();
    }

    int shown = 0;
    int ended = 0;
};

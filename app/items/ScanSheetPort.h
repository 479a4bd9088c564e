#pragma once

class QDialog;
class QWidget;

// How the scan's sheet reaches the screen, so the scan runs headless in tests.
class ScanSheetPort
{
public:
    virtual ~ScanSheetPort() = default;
    // Shows the sheet on parent without blocking; its buttons drive the scan.
    virtual void showScanSheet(QDialog* sheet, QWidget* parent) = 0;
    virtual void endScanSheet(QDialog* sheet) = 0;
};

// The sheet as a window-modal dialog on the page's window.
class QtScanSheetPort : public ScanSheetPort
{
public:
    void showScanSheet(QDialog* sheet, QWidget* parent) override;
    void endScanSheet(QDialog* sheet) override;
};

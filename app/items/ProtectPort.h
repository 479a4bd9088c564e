#pragma once

#include <QString>

class QDialog;
class QWidget;

// What the resize dialog is opened with from a protect request or job (resizedisk::setPriority).
struct ResizeOffer
{
    QString oldSize; // the vault's size text
    QString newSize; // the proposed size, a number in the unit below
    QString imagePath;
    QString mountPoint;
    QString password;
    int unit = 0; // 0: megabytes
    int callId = 2;
    int tableIndex = 0;
};

// The windows of protecting an item that block or stay open, so the request and the job run
// headless with scripted answers: the request sheets, the chooser of the custom-folder sheet, the
// reminder before a job and the resize dialog of the space offer.
class ProtectPort
{
public:
    virtual ~ProtectPort() = default;
    // Shows a request sheet on parent without blocking (its buttons drive the request); endSheet
    // takes it off the screen.
    virtual void showSheet(QDialog* sheet, QWidget* parent) = 0;
    virtual void endSheet(QDialog* sheet) = 0;
    // The open panel: prompt "Select", a file or a folder, new folders allowed, starting in
    // startFolder, as a sheet on parent. Empty when cancelled.
    virtual QString chooseFileOrFolder(QWidget* parent, const QString& startFolder) = 0;
    // The reminder before a job ("warningwindow"), run modally on parent; true when its box
    // "show no more" was ticked.
    virtual bool runWarningWindow(QWidget* parent, const QString& text) = 0;
    // Opens the resize dialog as a sheet on parent; it reports through "ReadCapacity".
    virtual void openResize(QWidget* parent, const ResizeOffer& offer) = 0;
};

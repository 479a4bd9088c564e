#pragma once

#include "app/items/ProtectPort.h"
#include "app/vaults/resizedisk.h"

// The Qt windows of protecting an item: window-modal dialogs on the page's window.
class QtProtectPort : public ProtectPort
{
public:
    explicit QtProtectPort(const ResizeServices& resize) : m_resize(resize) {}

    void showSheet(QDialog* sheet, QWidget* parent) override;
    void endSheet(QDialog* sheet) override;
    QString chooseFileOrFolder(QWidget* parent, const QString& startFolder) override;
    bool runWarningWindow(QWidget* parent, const QString& text) override;
    void openResize(QWidget* parent, const ResizeOffer& offer) override;

private:
    ResizeServices m_resize;
};

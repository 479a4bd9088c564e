#pragma once

#include <QString>

class QWidget;

// The blocking windows of the vault page, so its flows run headless with scripted answers.
class VaultPagePort
{
public:
    virtual ~VaultPagePort() = default;
    // Runs the lock/unlock notice modally on parent; true when the user ticked its box that
    // stops further notices.
    virtual bool runMountNotice(const QString& title, const QString& text, QWidget* parent) = 0;
    // Lets the user pick an existing vault image (a folder named *.sparsebundle, *.sparseimage
    // or *.dmg), starting in startFolder; empty when cancelled.
    virtual QString chooseDiskImage(QWidget* parent, const QString& startFolder) = 0;
    // Lets the user pick a folder (prompt "Select", folders only, new folders allowed), starting
    // in startFolder; empty when cancelled.
    virtual QString chooseDirectory(QWidget* parent, const QString& startFolder) = 0;
};

#pragma once

#include "app/vaults/VaultPagePort.h"

#include <QStringList>

// The vault page's notice window, image chooser and folder chooser as Qt dialogs.
class QtVaultPagePort : public VaultPagePort
{
public:
    static const QStringList& imageSuffixes();
    // Whether a chosen folder is a vault image by its name.
    static bool isDiskImageName(const QString& path);

    bool runMountNotice(const QString& title, const QString& text, QWidget* parent) override;
    QString chooseDiskImage(QWidget* parent, const QString& startFolder) override;
    QString chooseDirectory(QWidget* parent, const QString& startFolder) override;
};

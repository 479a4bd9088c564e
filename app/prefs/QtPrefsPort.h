#pragma once

#include "app/prefs/PrefsPort.h"

// The preferences window's folder chooser as a window-modal Qt file dialog.
class QtPrefsPort : public PrefsPort
{
public:
    QString chooseVaultFolder(QWidget* window, const QString& startFolder) override;
};

#pragma once

#include <QString>

class QWidget;

// The blocking windows of the preferences window, so its flows run headless with scripted answers.
class PrefsPort
{
public:
    virtual ~PrefsPort() = default;
    // A folder chooser as a sheet on window: "Select", folders only, new folders allowed, starting in
    // startFolder. The chosen folder, or empty when cancelled.
    virtual QString chooseVaultFolder(QWidget* window, const QString& startFolder) = 0;
};

#pragma once

#include "core/system/AlertPort.h"

// Alerts as QMessageBox: window-modal on the given window (a sheet), else application-modal.
class QtAlertPort : public AlertPort
{
public:
    int runAlert(const Alert& alert, QObject* window = nullptr) override;
};

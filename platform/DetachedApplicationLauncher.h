#pragma once

#include "core/system/ApplicationLauncher.h"

class DetachedApplicationLauncher : public ApplicationLauncher
{
public:
    bool launchApplication(const QString& bundlePath, const QStringList& arguments = {}) override;
};

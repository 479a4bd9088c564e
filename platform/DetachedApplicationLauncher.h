#pragma once

#include "core/ApplicationLauncher.h"

class DetachedApplicationLauncher : public ApplicationLauncher
{
public:
    bool launchApplication(const QString& bundlePath, const QStringList& arguments = {}) override;
};

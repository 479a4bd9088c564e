#pragma once

#include "core/system/ApplicationLauncher.h"

// Records the programs it is asked to launch instead of starting them.
class RecordingLauncher : public ApplicationLauncher
{
public:
    bool launchApplication(const QString& bundlePath, const QStringList& arguments = {}) override
    {
        launched.append(bundlePath);
        Q_UNUSED(arguments);
        return true;
    }
    QStringList launched;
};

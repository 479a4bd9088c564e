#pragma once

#include "core/files/JobSettler.h"

// The start-up recovery of every file job that journals its work. Each flow registers its
// handler in settler(); Zorvane runs settleAtStart before its vault page loads or any vault is
// unlocked, and the uninstaller before its first item.
class JobRecovery
{
public:
    static JobSettler settler();
    static JobSettler::Report settleAtStart(const JobSettleServices& services);
    // Work folders of vault creations that were killed, in the folders where vaults are made or
    // kept (never one whose creation still runs). Part of settleAtStart; returns the folders removed.
    static QStringList removeUnfinishedImages(SettingsStore& settings);
};

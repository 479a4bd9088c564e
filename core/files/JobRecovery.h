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
};

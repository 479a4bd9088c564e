#include "core/files/JobRecovery.h"

#include "core/system/Logging.h"
#include "core/vault/ProtectWork.h"
#include "core/vault/RestoreWork.h"
#include "core/vault/VaultMove.h"

JobSettler JobRecovery::settler()
{
    JobSettler settler;
    settler.registerHandler(VaultMove::kKind, &VaultMove::settle);
    settler.registerHandler(ProtectWork::kKind, &ProtectWork::settle);
    settler.registerHandler(RestoreWork::kKind, &RestoreWork::settle);
    return settler;
}

JobSettler::Report JobRecovery::settleAtStart(const JobSettleServices& services)
{
    const JobSettler::Report report = settler().settle(services);
    if (!report.kept.isEmpty() || !report.setAside.isEmpty() || !report.live.isEmpty())
        qCWarning(lcFiles) << "job journals: kept" << report.kept << "set aside" << report.setAside
                           << "still running" << report.live;
    return report;
}

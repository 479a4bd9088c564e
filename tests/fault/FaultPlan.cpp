#include "tests/fault/FaultPlan.h"

const QList<FaultPlan::Flow>& FaultPlan::flows()
{
    static const QList<Flow> all{Flow::ProtectFolder, Flow::ProtectFile, Flow::Restore, Flow::Move,
                                 Flow::Uninstall};
    return all;
}

QString FaultPlan::name(Flow flow)
{
    switch (flow) {
    case Flow::ProtectFolder:
        return QStringLiteral("protect-folder");
    case Flow::ProtectFile:
        return QStringLiteral("protect-file");
    case Flow::Restore:
        return QStringLiteral("restore");
    case Flow::Move:
        return QStringLiteral("vault-move");
    case Flow::Uninstall:
        return QStringLiteral("uninstall");
    }
    return {};
}

QString FaultPlan::name(Fault fault)
{
    switch (fault) {
    case Fault::None:
        return QStringLiteral("none");
    case Fault::KillRandom:
        return QStringLiteral("kill-random");
    case Fault::KillStage:
        return QStringLiteral("kill-stage");
    case Fault::DiskFull:
        return QStringLiteral("disk-full");
    case Fault::SourceDeleted:
        return QStringLiteral("source-deleted");
    case Fault::SourceChanged:
        return QStringLiteral("source-changed");
    case Fault::VaultDetached:
        return QStringLiteral("vault-detached");
    case Fault::TrashRefusing:
        return QStringLiteral("trash-refusing");
    }
    return {};
}

QStringList FaultPlan::stages(Flow flow)
{
    switch (flow) {
    case Flow::ProtectFolder:
    case Flow::ProtectFile:
        return {"journaled", "copying", "copied", "trashing", "trashmoved", "trashed", "linked", "recorded"};
    case Flow::Restore:
        return {"journaled", "copying", "copied", "swapping", "swapped", "trashed", "recorded"};
    case Flow::Move:
        return {"copying", "verifying", "placed", "switched", "trashed"};
    case Flow::Uninstall:
        return {"copying", "copied", "swapping", "swapped", "trashed", "recorded", "final"};
    }
    return {};
}

QList<FaultPlan::Fault> FaultPlan::faults(Flow flow)
{
    if (flow == Flow::Move)
        return {Fault::KillRandom, Fault::DiskFull, Fault::SourceChanged, Fault::KillRandom,
                Fault::TrashRefusing};
    return {Fault::KillRandom, Fault::DiskFull,      Fault::SourceChanged, Fault::VaultDetached,
            Fault::KillRandom, Fault::TrashRefusing, Fault::SourceDeleted};
}

QList<FaultPlan> FaultPlan::schedule(Flow flow, int count, int offset, quint32 seed, int firstIndex)
{
    const QList<Fault> kinds = faults(flow);
    const QStringList points = stages(flow);
    QList<FaultPlan> plans;
    // Every third injection kills at the next stage; the others cycle through the faults.
    for (int j = offset; plans.size() < count; ++j) {
        FaultPlan plan;
        plan.flow = flow;
        plan.index = firstIndex + int(plans.size());
        plan.seed = seed + quint32(plan.index) * 7919u;
        if (j % 3 == 2) {
            plan.fault = Fault::KillStage;
            plan.stage = points.at((j / 3) % points.size());
        } else {
            plan.fault = kinds.at((j - j / 3) % kinds.size());
        }
        plans.append(plan);
    }
    return plans;
}

QString FaultPlan::describe() const
{
    QString text = QStringLiteral("#%1 %2 %3").arg(index).arg(name(flow), name(fault));
    if (!stage.isEmpty())
        text += QLatin1Char(' ') + stage;
    return text + QStringLiteral(" (seed %1)").arg(seed);
}

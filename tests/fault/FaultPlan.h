#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One injection: which flow runs, which fault hits it, and the seed its tree, timing and choices
// come from (the same plan gives the same run, but for timing).
struct FaultPlan
{
    enum class Flow
    {
        ProtectFolder,
        ProtectFile,
        Restore,
        Move,
        Uninstall,
    };
    enum class Fault
    {
        None,          // the clean run that measures the flow's duration
        KillRandom,    // SIGKILL at a moment drawn uniformly over that duration
        KillStage,     // SIGKILL at a named point of the job
        DiskFull,      // the disk written to fills up (a small tmpfs)
        SourceDeleted, // a file of what is copied is deleted meanwhile
        SourceChanged, // a file of what is copied is written to meanwhile
        VaultDetached, // the vault is unmounted lazily in the middle of the copy
        TrashRefusing, // the Trash folders are read-only
    };

    Flow flow = Flow::ProtectFolder;
    Fault fault = Fault::None;
    QString stage; // KillStage only
    quint32 seed = 0;
    int index = 0;

    static const QList<Flow>& flows();
    static QString name(Flow flow);
    static QString name(Fault fault);
    // The points a job of the flow can be killed at, in the order it passes them.
    static QStringList stages(Flow flow);
    // The faults that mean something for the flow (a locked image being moved has no copy in a
    // mounted vault to detach, and its files are not the user's to delete).
    static QList<Fault> faults(Flow flow);
    // count injections for flow, mixing the faults with every stage; offset rotates the mix so
    // short runs of different flows cover different faults.
    static QList<FaultPlan> schedule(Flow flow, int count, int offset, quint32 seed, int firstIndex);
    QString describe() const;
};

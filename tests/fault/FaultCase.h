#pragma once

#include "tests/fault/FaultPlan.h"
#include "tests/support/ItemInvariant.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

// One injection from start to verdict: builds the world the flow starts from (a fresh vault,
// generated trees, the records a protect leaves), runs the real flow in a child process with
// the user's rights (no permission override even under root), injects the plan's fault, runs
// Zorvane's start-up recovery (journals, then the item list's repair), unlocks the vault where an
// item is recorded as protected, and checks that every item is whole in the one place the
// records name. Everything it made is unmounted and removed when it goes.
class FaultCase
{
public:
    struct Outcome
    {
        QStringList problems; // empty: nothing lost
        QString effect;       // what the fault did, for the log
        qint64 runMs = 0;     // how long the flow ran
        bool ended = false;   // the flow ended by itself
        int exitCode = -1;
        QString output;           // the end of what the flow printed
        bool setupFailed = false; // the world could not be built: nothing was tested
    };

    // measuredMs: the flow's duration from a clean run (for the random kill moment).
    FaultCase(const FaultPlan& plan, const QString& root, qint64 measuredMs);
    ~FaultCase();
    FaultCase(const FaultCase&) = delete;
    FaultCase& operator=(const FaultCase&) = delete;

    Outcome run();

private:
    bool prepare(QString* error);
    bool makeVault(const QString& folder);
    bool addProtectedItem(const QString& name, const QString& place, bool folder);
    QString mountTmpfs(const QString& folder, qint64 bytes, qint64 inodes);
    void startFlow(QProcess& process);
    void injectWhileRunning(QProcess& process, Outcome& outcome);
    bool copyStarted() const;
    void touchSource(Outcome& outcome);
    void setTrashRefusing(bool refusing);
    void recoverAndCheck(Outcome& outcome);
    int runRecovery(QString* output);
    bool attachRecordedVault();
    qint64 treeBytes() const;

    FaultPlan m_plan;
    QRandomGenerator m_random;
    qint64 m_measuredMs = 0;
    QString m_folder;      // everything of this case
    QString m_vault;       // the vault's name
    QString m_image;       // its image
    QString m_destination; // a move's destination folder
    QString m_app;         // the uninstaller's copy of the application folder
    QStringList m_mounts;  // what this case mounted itself, in order
    QList<ItemInvariant::Item> m_items;
    QByteArray m_output;
};

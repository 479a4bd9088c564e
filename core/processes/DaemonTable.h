#pragma once

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// When a rule of the daemon table applies.
enum class DaemonPhase
{
    Scan,              // the application scan prepares a chosen application
    ThirdTrashAttempt, // the original (or the vault copy) would not go to the Trash twice
    AfterCopy,         // the copy is whole, the original not yet touched
    Completion,        // the job has ended; its result is being reported
    ItemLock,          // a protected item's vault would not detach
    AutoLock,          // a protected application quit; its vault is about to be locked
};

// What a rule's keys are compared with.
enum class DaemonKeyKind
{
    Application,    // the item name, exactly; "<App> (Flatpak)" and "<App> (Snap)" share <App>'s rows
    ProcessName,    // the name of the process that quit, without regard to case
    DataFolder,     // the last component of the item's data path, exactly
    HolderContains, // some holder's name contains the key, without regard to case
    Holder,         // a holder's name is the key, without regard to case
    AnyApplication, // every application of the phase
};

// Conditions the caller checks when it applies a rule (they need the live system).
enum class DaemonCondition
{
    Always = 0,
    TargetRuns = 0x1,             // only the targets that run (a fresh look at the processes)
    HoldsVaultFiles = 0x2,        // only the targets holding files in the vault concerned
    PhotoSoftwareProtected = 0x4, // only while a photo application is protected
    EarlierRowActed = 0x8,        // only when an earlier row of this lookup did something
    CommandMissing = 0x10,        // only when the command of the row before could not be run
};
Q_DECLARE_FLAGS(DaemonConditions, DaemonCondition)
Q_DECLARE_OPERATORS_FOR_FLAGS(DaemonConditions)

enum class DaemonAction
{
    Quit,             // SIGTERM, then KillDaemonByName for those still there after at most 3 s
    Stop,             // KillDaemonByName
    Command,          // run targets as a program and its arguments (no shell), at most timeoutMs
    RefusalSheet,     // refuse with title/text; the phase ends with nothing changed
    Notification,     // post the distributed notification named by the first target
    LoginItemRemoval, // remove the login item whose display name is the first target
    JobError,         // the job fails (or its failure is reported) with title/text
};

struct DaemonRule
{
    DaemonPhase phase;
    DaemonKeyKind keyKind;
    QStringList keys;
    QString minVersion;    // inclusive; empty: no lower bound
    QString beforeVersion; // exclusive; empty: no upper bound
    DaemonConditions conditions;
    DaemonAction action;
    QStringList targets; // process names, a command line, a notification or login-item name
    QString switchKey;   // the "nodeal…" setting that, when on, skips the row; empty: none
    int pauseMicroseconds = 0;
    int timeoutMs = 0;
    QString title; // refusal sheet, job error
    QString text;  // "%@" stands for the application name
};

// What a caller is doing; a rule applies when its phase, key, version and switch fit.
struct DaemonQuery
{
    explicit DaemonQuery(DaemonPhase p) : phase(p) {}
    DaemonPhase phase;
    QString applicationName;
    QString processName;
    QString dataFolderName;
    QString holders; // holder names joined by ","
    QString osVersion = QStringLiteral("10.9");
    std::function<bool(const QString& switchKey)> switchIsOn; // null: every switch is off
    bool photoSoftwareProtected = false;
};

// The one table of the background processes that hold application data open and what the
// scan, the copy worker, its completion, the lock of a protected item and the auto-lock do
// about them. Rows whose names only exist on another system stay, inert: their processes
// never run here and the version never reaches their range.
class DaemonTable
{
public:
    static const QList<DaemonRule>& rows();
    // The rows that apply, in table order.
    static QList<DaemonRule> rulesFor(const DaemonQuery& query);
    // Every "nodeal…" switch the table knows.
    static QStringList switchKeys();
    // "<App> (Flatpak)" and "<App> (Snap)" name <App>'s rows.
    static QString baseApplicationName(const QString& applicationName);
    // Whether the key of a row matches the query (phase, version and switch aside).
    static bool keyMatches(const DaemonRule& rule, const DaemonQuery& query);
};

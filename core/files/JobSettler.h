#pragma once

#include "core/files/JobJournal.h"
#include "core/files/MoveToTrash.h"

#include <QHash>
#include <QStringList>
#include <functional>

class SettingsStore;

// What a recovery handler works with.
struct JobSettleServices
{
    SettingsStore* settings = nullptr;
    MoveToTrash moveToTrash;
    // Where the Trash put an original a job was moving there when it was cut off (may be null).
    FindInTrash findInTrash = nullptr;
};

// What a recovery handler did with a journal.
enum class SettleOutcome
{
    // The job's data is whole in exactly one known place and the records say so: the journal goes.
    Settled,
    // Nothing can be decided safely now (a place unreachable, a vault in use, the Trash refusing):
    // the journal stays for the next start, and nothing was made worse.
    Keep,
    // The journal makes no sense for its kind: it is set aside, never acted on.
    Unreadable
};

// Settles the journals of jobs that were cut off (killed, crashed, power lost). Every flow that
// journals its work registers one handler for its kind (JobRecovery::settler). Journals are
// settled one at a time in the order their jobs started, each under its job's lock, so a job still
// running in another process is never touched. A journal that can't be read is set aside as
// "<id>.plist.unreadable"; one of a kind without a handler is kept for a program that knows it.
class JobSettler
{
public:
    using Handler = std::function<SettleOutcome(const JobRecord&, const JobSettleServices&)>;
    static inline const QString kUnreadableSuffix = QStringLiteral(".unreadable");

    struct Report
    {
        QStringList settled;
        QStringList kept;
        QStringList setAside;
        QStringList live;
    };

    void registerHandler(const QString& kind, Handler handler);
    bool handles(const QString& kind) const { return m_handlers.contains(kind); }
    Report settle(const JobSettleServices& services) const;

private:
    SettleOutcome settleOne(const JobRecord& journal, const JobSettleServices& services) const;
    static void removeLeftovers();

    QHash<QString, Handler> m_handlers;
};

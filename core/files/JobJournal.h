#pragma once

#include <QString>
#include <QVariantMap>
#include <memory>
#include <optional>

// What one journal file says: the job's kind, the stage it had reached and the kind's fields.
struct JobRecord
{
    QString id;
    QString path;
    QString kind;
    QString stage;
    QVariantMap fields; // every key of the file, "kind" and "stage" included

    QString field(const QString& key) const { return fields.value(key).toString(); }
};

// The journal of one running file job (a vault move, a protect, a restore, an uninstall): one
// property list <id>.plist in Paths::jobsFolder() (mode 0600, replaced atomically) holding
// "kind", "stage" and the kind's fields. A job writes it before its first change on disk,
// advances the stage before each irreversible step and removes it when done; JobSettler finishes
// or undoes at the next start whatever a job left when it was cut off.
//
// While the job runs, its process holds an exclusive lock on <id>.lock, so a settle in another
// process never acts on a job that is still alive. Dropping the object releases the lock and
// leaves the file for the settle.
class JobJournal
{
public:
    static inline const QString kKind = QStringLiteral("kind");
    static inline const QString kStage = QStringLiteral("stage");
    static inline const QString kSuffix = QStringLiteral(".plist");
    static inline const QString kLockSuffix = QStringLiteral(".lock");
    // Jobs name the vaults they write into or take from under these keys.
    static inline const QString kVault = QStringLiteral("vault");
    static inline const QString kOldVault = QStringLiteral("oldvault");

    ~JobJournal();
    JobJournal(const JobJournal&) = delete;
    JobJournal& operator=(const JobJournal&) = delete;

    // Writes a new journal; null with *error when it could not be written, and the job must then
    // not start.
    static std::unique_ptr<JobJournal> begin(const QString& kind, const QString& stage,
                                             const QVariantMap& fields, QString* error = nullptr);
    // Records the next stage (and changed fields) before the step it names. False when the file
    // could not be replaced; it then still holds the previous stage.
    bool advance(const QString& stage, const QVariantMap& changes = {}, QString* error = nullptr);
    // The job is done: removes the journal, then its lock.
    bool finish(QString* error = nullptr);

    const JobRecord& record() const { return m_record; }

    // A journal as the settle reads it; nothing (and *why) when the file is not a property list
    // with a "kind" and a "stage".
    static std::optional<JobRecord> read(const QString& path, QString* why = nullptr);
    static QString journalPath(const QString& id);
    static QString lockPath(const QString& id);
    // Takes the job's lock unless a live process holds it; -1 when it is held (or can't be
    // taken). The caller closes the descriptor.
    static int tryLock(const QString& id);
    // The journals of jobs still running, in any process: those whose lock is held. Looking never
    // takes a lock, so a settle running meanwhile is not misled.
    static QList<JobRecord> running();
    // The vaults running jobs write into or take from; such a vault must not be locked under them.
    static QStringList vaultsInUse();

private:
    JobJournal() = default;
    bool write(QString* error);

    JobRecord m_record;
    int m_lockFd = -1;
};

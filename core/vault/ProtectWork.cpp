#include "core/vault/ProtectWork.h"

#include "core/files/FileOperation.h"
#include "core/files/JobJournal.h"
#include "core/files/MakeSymbolicLink.h"
#include "core/files/PathSafety.h"
#include "core/files/SetAside.h"
#include "core/files/TreeVerifier.h"
#include "core/processes/DaemonRuleRunner.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/vault/ItemPlace.h"
#include "core/vault/TrashRetries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex g_hookMutex;
ProtectWork::Checkpoint g_hook;

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool isLink(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool linksTo(const QString& place, const QString& target)
{
    const QFileInfo link(place);
    return link.isSymLink() && QDir::cleanPath(link.symLinkTarget()) == QDir::cleanPath(target);
}

bool isCleanAbsolute(const QString& path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) == path;
}

QString lastComponent(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

DaemonQuery queryFor(DaemonPhase phase, const ProtectWork::Plan& plan)
{
    DaemonQuery query(phase);
    query.applicationName = plan.item;
    query.dataFolderName = lastComponent(plan.place);
    return query;
}

// Drops the folder record a request wrote for a job that did not protect the item, unless the
// item is protected after all or the record names another place by now.
void dropRequestRecord(SettingsStore& settings, const QString& item, const QString& place)
{
    Records records(settings);
    if (records.contains(SettingsKeys::RedirectItem, item) ||
        records.entry(SettingsKeys::CustomFolderItem, item) != place)
        return;
    records.removeEntry(SettingsKeys::CustomFolderItem, item);
    records.removeEntry(SettingsKeys::CustomFolderDescription, item);
    settings.synchronize();
}

// Makes the link at the place, keeping whatever took the place meanwhile beside it.
bool linkPlace(const QString& place, const QString& target, const MoveToTrash& moveToTrash)
{
    if (linksTo(place, target))
        return true;
    if (lexists(place)) {
        QString why;
        // An old link holds no data: it goes to the Trash like the original would; real data is
        // kept beside the place.
        const bool cleared = isLink(place) && moveToTrash ? moveToTrash(place, &why)
                                                          : !SetAside::moveAside(place, place).isEmpty();
        if (!cleared) {
            qCWarning(lcFiles) << "cannot clear" << place << "for its link" << why;
            return false;
        }
    }
    return MakeSymbolicLink(place, target) == 1;
}

} // namespace

QString ProtectWork::Plan::source() const
{
    return move ? QDir::cleanPath(oldMountPoint + QLatin1Char('/') + lastComponent(place)) : place;
}

QString ProtectWork::Plan::destination() const
{
    return QDir::cleanPath(mountPoint + QLatin1Char('/') + lastComponent(place));
}

ProtectWork::ProtectWork(const Plan& plan, const TrashAccess& trash)
    : m_plan(plan), m_trash(trash), m_manifest(plan.verifyContent), m_verdict("protecting", plan.item)
{
    m_control.manifest = &m_manifest;
}

ProtectWork::~ProtectWork() = default;

void ProtectWork::setCheckpoint(Checkpoint hook)
{
    std::lock_guard lock(g_hookMutex);
    g_hook = std::move(hook);
}

bool ProtectWork::checkpoint(const char* point)
{
    Checkpoint hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_hook;
    }
    return m_verdict.pass(point, !hook || hook(QString::fromLatin1(point), m_plan));
}

bool ProtectWork::begin(QString* error)
{
    m_started = QDateTime::currentDateTimeUtc();
    QVariantMap fields{{kItem, m_plan.item},         {kPlace, m_plan.place},
                       {kVault, m_plan.vault},       {kMode, m_plan.move ? kModeMove : kModeNew},
                       {kLinkFlag, m_plan.linkFlag}, {kCustomRecord, m_plan.wroteCustomRecord},
                       {kStarted, m_started}};
    if (m_plan.move)
        fields.insert(kOldVault, m_plan.oldVault);
    m_journal = JobJournal::begin(kKind, kStageCopying, fields, error);
    return m_journal != nullptr;
}

QString ProtectWork::trashWithRetries(const QString& path)
{
    QString why;
    const QString trashed = TrashRetries::trash(
        path, m_trash.trash, queryFor(DaemonPhase::ThirdTrashAttempt, m_plan), m_control.cancelled, &why);
    if (trashed.isEmpty() && !m_control.cancelled)
        fail(QStringLiteral("%1 could not be moved to the Trash: %2").arg(path, why));
    return trashed;
}

bool ProtectWork::verifyAndSync()
{
    const CopyManifest::Result same = m_manifest.compareWithOriginal(m_plan.source(), &m_control.cancelled);
    if (!same.same)
        return fail(QStringLiteral("the copy does not match: %1").arg(same.difference));
    if (m_plan.verifyContent) {
        const CopyManifest::Result content = m_manifest.readBack(m_plan.destination(), &m_control.cancelled);
        if (!content.same)
            return fail(QStringLiteral("the copy does not match: %1").arg(content.difference));
    }
    // Both the vault and the disk that holds its image: the copy must be on the disk before the
    // original goes.
    if (!TreeVerifier::syncFileSystem(m_plan.mountPoint) ||
        (!m_plan.imagePath.isEmpty() && !TreeVerifier::syncFileSystem(m_plan.imagePath)))
        return fail(QStringLiteral("the vault could not be written to the disk"));
    return true;
}

bool ProtectWork::run()
{
    const QString source = m_plan.source();
    const QString destination = m_plan.destination();
    if (!checkpoint("copying"))
        return false;
    // The copy never replaces anything in the vault.
    if (lexists(destination))
        return fail(QStringLiteral("%1 already exists").arg(destination));
    const TreeCopier::Result copied = TreeCopier::copyInto(source, m_plan.mountPoint, m_control);
    if (!copied.ok)
        return fail(copied.error);
    if (!checkpoint("copied"))
        return false;
    const DaemonRuleRunner::Outcome after =
        DaemonRuleRunner::runOnWorker(queryFor(DaemonPhase::AfterCopy, m_plan), &m_control.cancelled);
    if (after.jobError)
        return fail(QStringLiteral("a program that keeps %1 open still runs").arg(source));
    if (m_control.cancelled)
        return fail(QStringLiteral("cancelled"));
    if (!verifyAndSync())
        return false;

    QString why;
    if (!m_journal || !m_journal->advance(kStageTrashing, {}, &why))
        return fail(QStringLiteral("the job could not be recorded: %1").arg(why));
    if (!checkpoint("trashing"))
        return false;
    const QString trashed = trashWithRetries(source);
    if (trashed.isEmpty())
        return false;
    m_originalMoved = true;
    if (!checkpoint("trashmoved"))
        return false;
    // A write to the original between the check and the Trash step would otherwise live on
    // only in the Trash: the original comes back and the job fails.
    const CopyManifest::Result still = m_manifest.compareWithOriginal(trashed);
    if (!still.same) {
        fail(QStringLiteral("%1 changed while it was protected: %2").arg(source, still.difference));
        putBack(trashed, QString());
        return false;
    }
    // If this write is lost, the Trash's own record of the move tells the next start.
    if (!m_journal->advance(kStageTrashed, {{kTrashPath, trashed}}, &why))
        qCWarning(lcFiles) << "the protect job of" << m_plan.item << "could not record its stage:" << why;
    if (!checkpoint("trashed"))
        return false;

    QString trashedLink;
    if (m_plan.move) {
        if (isLink(m_plan.place)) {
            trashedLink = m_trash.trash ? m_trash.trash(m_plan.place, &why) : QString();
            if (trashedLink.isEmpty()) {
                fail(
                    QStringLiteral("the link %1 could not be moved to the Trash: %2").arg(m_plan.place, why));
                putBack(trashed, QString());
                return false;
            }
        }
    }
    if (MakeSymbolicLink(m_plan.place, destination) != 1) {
        fail(QStringLiteral("no link could be made at %1").arg(m_plan.place));
        putBack(trashed, trashedLink);
        return false;
    }
    return checkpoint("linked");
}

bool ProtectWork::putBack(const QString& trashedOriginal, const QString& trashedLink)
{
    QString why;
    // Whether the original is back is the Trash's to tell again, should this be cut off.
    if (m_journal && !m_journal->advance(kStageTrashing, {}, &why))
        qCWarning(lcFiles) << "the protect job of" << m_plan.item << "could not record its stage:" << why;
    // Whatever took the place meanwhile is kept beside it, never replaced.
    if (lexists(m_plan.place) && !(m_plan.move && linksTo(m_plan.place, m_plan.source())) &&
        SetAside::moveAside(m_plan.place, m_plan.place).isEmpty()) {
        qCWarning(lcFiles) << "cannot clear" << m_plan.place << "to put the original back";
        return false;
    }
    if (m_plan.move && !linksTo(m_plan.place, m_plan.source())) {
        const bool back = !trashedLink.isEmpty() && m_trash.restore && m_trash.restore(trashedLink, &why);
        if (!back && MakeSymbolicLink(m_plan.place, m_plan.source()) != 1)
            qCWarning(lcFiles) << "cannot put the link back at" << m_plan.place << why;
    }
    if (!m_trash.restore || !m_trash.restore(trashedOriginal, &why)) {
        qCWarning(lcFiles) << "cannot put" << trashedOriginal << "back:" << why;
        return false;
    }
    m_originalMoved = false;
    return true;
}

bool ProtectWork::recordOver(SettingsStore& settings, QString* error) const
{
    if (Records(settings).recordProtectedItem(m_plan.item, m_plan.vault, m_plan.place, m_plan.linkFlag != 0))
        return true;
    if (error)
        *error = QStringLiteral("the settings file %1 could not be written")
                     .arg(Paths::settingsFile(settings.domain()));
    return false;
}

void ProtectWork::rollBack(SettingsStore& settings) const
{
    const QString destination = m_plan.destination();
    const QString source = m_plan.source();
    // The copy in the vault is a duplicate of data still at its place: kept aside, never removed.
    if (lexists(destination) && lexists(source) && (m_plan.move || !isLink(source))) {
        const QString aside = SetAside::moveAside(destination, destination);
        qCInfo(lcFiles) << "the copy of" << m_plan.item << "was set aside as" << aside;
    }
    if (!m_plan.move && m_plan.wroteCustomRecord)
        dropRequestRecord(settings, m_plan.item, m_plan.place);
}

bool ProtectWork::endJournal()
{
    if (!m_journal)
        return true;
    const bool ok = m_journal->finish();
    m_journal.reset();
    return ok;
}

// ---- Start-up recovery ---------------------------------------------------------------------------

SettleOutcome ProtectWork::settle(const JobRecord& journal, const JobSettleServices& services)
{
    const QString item = journal.field(kItem);
    const QString place = journal.field(kPlace);
    const QString vault = journal.field(kVault);
    const QString mode = journal.field(kMode);
    const QString oldVault = journal.field(kOldVault);
    const QString stage = journal.stage;
    const bool move = mode == kModeMove;
    // Read like any settings path: never trusted beyond what a protect job writes.
    if (item.isEmpty() || !Paths::isValidVaultName(vault) || !isCleanAbsolute(place) ||
        (mode != kModeNew && !move) || (move && (!Paths::isValidVaultName(oldVault) || oldVault == vault)) ||
        !QStringList{kStageCopying, kStageTrashing, kStageTrashed}.contains(stage) || !services.settings)
        return SettleOutcome::Unreadable;
    SettingsStore& settings = *services.settings;
    settings.synchronize();
    const PathSafety::Verdict verdict = PathSafety::check(place, PathSafety::fromSettings(settings));
    if (verdict != PathSafety::Verdict::Safe) {
        qCWarning(lcFiles) << "a protect job names" << place << ":" << PathSafety::describe(verdict);
        return SettleOutcome::Unreadable;
    }

    Plan plan;
    plan.move = move;
    plan.item = item;
    plan.place = place;
    plan.vault = vault;
    plan.mountPoint = Paths::mountPoint(vault);
    plan.oldVault = oldVault;
    plan.oldMountPoint = move ? Paths::mountPoint(oldVault) : QString();
    plan.linkFlag = journal.fields.value(kLinkFlag, 1).toInt();
    const QString destination = plan.destination();
    const QString source = plan.source();
    const Records records(settings);
    const bool attached = ItemPlace::vaultAttached(vault, records.entry(SettingsKeys::VaultItem, vault));
    const bool oldAttached =
        move && ItemPlace::vaultAttached(oldVault, records.entry(SettingsKeys::VaultItem, oldVault));

    bool gone = stage == kStageTrashed;
    if (stage == kStageTrashing) {
        if (move) {
            // Only the old vault can tell whether its copy went.
            if (!oldAttached) {
                qCWarning(lcFiles) << "the move of" << item << "waits until the vault" << oldVault
                                   << "is unlocked";
                return SettleOutcome::Keep;
            }
            gone = !lexists(source);
        } else {
            const QDateTime started = journal.fields.value(kStarted).toDateTime();
            // The verified copy was on the disk before this stage: a place without its original
            // holds nothing to keep, wherever the original went.
            gone = linksTo(place, destination) || !lexists(place) ||
                   (services.findInTrash && !services.findInTrash(place, started).isEmpty());
        }
    }

    if (!gone) {
        // Undo: the original is whole at its place; only what the job made in the vault is left.
        if (!move && journal.fields.value(kCustomRecord).toBool())
            dropRequestRecord(settings, item, place);
        if (!attached) {
            qCWarning(lcFiles) << "the copy of" << item << "is cleared once the vault" << vault
                               << "is unlocked";
            return SettleOutcome::Keep;
        }
        for (const QString& work : TreeCopier::workCopiesOf(plan.mountPoint, lastComponent(place)))
            TreeCopier::removeTree(work);
        if (lexists(destination) && SetAside::moveAside(destination, destination).isEmpty()) {
            qCWarning(lcFiles) << "cannot set the copy" << destination << "aside";
            return SettleOutcome::Keep;
        }
        qCInfo(lcFiles) << "the protect job of" << item << "was undone";
        return SettleOutcome::Settled;
    }

    // Finish: the data is in the vault, so the place gets its link and the records say so. A
    // link's content is only a path, so the vault need not be attached for it.
    if (!linkPlace(place, destination, services.moveToTrash)) {
        qCWarning(lcFiles) << "the link of" << item << "could not be made at" << place;
        return SettleOutcome::Keep;
    }
    Records writer(settings);
    if (!writer.recordProtectedItem(item, vault, place, plan.linkFlag != 0)) {
        qCWarning(lcFiles) << "the records of" << item << "could not be written";
        return SettleOutcome::Keep;
    }
    qCInfo(lcFiles) << "the protect job of" << item << "was finished";
    return SettleOutcome::Settled;
}

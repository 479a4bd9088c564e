#include "core/vault/RestoreWork.h"

#include "core/files/JobJournal.h"
#include "core/files/PathSafety.h"
#include "core/files/SetAside.h"
#include "core/files/TreeVerifier.h"
#include "core/files/VaultLink.h"
#include "core/processes/DaemonRuleRunner.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/vault/ItemPlace.h"
#include "core/vault/ProtectWork.h"
#include "core/vault/TrashRetries.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex g_hookMutex;
RestoreWork::Checkpoint g_hook;

const QString kStagingTag = QStringLiteral(".zvrestore-");

// These folders stay in the vault under another name instead of going to the Trash.
const QStringList kKeptInVault{QStringLiteral("Office 2011 Identities"),
                               QStringLiteral("Office 2008 Identities"),
                               QStringLiteral("Office 2004 Identities")};

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0;
}

bool isLink(const QString& path)
{
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

QString lastComponent(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

QString folderOf(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).absolutePath();
}

bool isStagingName(const QString& staging, const QString& place)
{
    const QString prefix = QLatin1Char('.') + lastComponent(place) + kStagingTag;
    return staging.startsWith(prefix) && staging.size() == prefix.size() + 8 &&
           !staging.contains(QLatin1Char('/'));
}

QString newStagingName(const QString& place)
{
    return QStringLiteral(".%1%2%3")
        .arg(lastComponent(place), kStagingTag)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// The staged side after the exchange holds the old link; nothing else is ever removed here.
bool removeStaging(const QString& folder)
{
    return TreeCopier::removeTree(folder);
}

// The copy took the link's place: the data path holds real data and the hidden folder holds the
// link (or, when there was no link, nothing).
bool swapHappened(const QString& place, const QString& stagedCopy)
{
    return lexists(place) && !isLink(place) && (!lexists(stagedCopy) || isLink(stagedCopy));
}

DaemonQuery queryFor(DaemonPhase phase, const RestoreWork::Plan& plan)
{
    DaemonQuery query(phase);
    query.applicationName = plan.item;
    query.dataFolderName = lastComponent(plan.place);
    return query;
}

// The vault's copy, once the data is back at its place: to the vault's Trash, or kept in the vault
// under a name that says why. The name of an earlier such copy is never taken.
QString disposeOf(const QString& source, const std::function<QString(QString*)>& toTrash)
{
    if (kKeptInVault.contains(lastComponent(source)))
        return SetAside::moveAside(source, source, RestoreWork::kSpecifySuffix);
    QString why;
    const QString trashed = toTrash(&why);
    if (!trashed.isEmpty())
        return trashed;
    qCWarning(lcFiles) << "the vault copy" << source << "stays in the vault:" << why;
    return SetAside::moveAside(source, source, RestoreWork::kNotTrashedSuffix);
}

} // namespace

QString RestoreWork::Plan::stagingFolder() const
{
    return folderOf(place) + QLatin1Char('/') + staging;
}

QString RestoreWork::Plan::stagedCopy() const
{
    return stagingFolder() + QLatin1Char('/') + lastComponent(place);
}

RestoreWork::Prepared RestoreWork::prepare(const QString& item, const QString& vault, const QString& place,
                                           int linkFlag, SettingsStore& settings)
{
    Prepared out;
    const QString clean = QDir::cleanPath(place);
    const PathSafety::Verdict verdict = PathSafety::check(clean, PathSafety::fromSettings(settings));
    if (clean.isEmpty() || verdict != PathSafety::Verdict::Safe) {
        out.refusal = QStringLiteral("%1 is not a place Zorvane may change (%2).")
                          .arg(place.isEmpty() ? item : place, PathSafety::describe(verdict));
        return out;
    }
    QString fromVault = vault;
    if (isLink(clean)) {
        // Only the link to the item's own place in its recorded vault is followed.
        if (!VaultLink::leadsToOwnPlace(clean, vault)) {
            const QString target = VaultLink::target(clean);
            out.refusal =
                QStringLiteral("%1 leads to %2, not to the vault \"%3\".").arg(clean, target, vault);
            return out;
        }
    } else if (lexists(clean)) {
        out.refusal = QStringLiteral("%1 is not a link into its vault.").arg(clean);
        return out;
    } else {
        // No link at all: the vault the item was last stored in may still hold it.
        fromVault = Records(settings).entry(SettingsKeys::BakRedirectPath, item);
        if (!Paths::isValidVaultName(fromVault)) {
            out.refusal = QStringLiteral("%1 can't be found in a vault.").arg(item);
            return out;
        }
    }
    const QString image = Records(settings).entry(SettingsKeys::VaultItem, fromVault);
    if (!ItemPlace::vaultAttached(fromVault, image)) {
        out.refusal = QStringLiteral("The vault \"%1\" is locked.").arg(fromVault);
        return out;
    }
    const QString source = QDir::cleanPath(Paths::itemDataPath(fromVault, clean));
    if (!lexists(source) || isLink(source)) {
        out.refusal =
            QStringLiteral("The vault \"%1\" does not hold %2.").arg(fromVault, lastComponent(clean));
        return out;
    }
    Plan plan;
    plan.item = item;
    plan.place = clean;
    plan.vault = fromVault;
    plan.source = source;
    plan.linkFlag = linkFlag;
    plan.staging = newStagingName(clean);
    out.plan = plan;
    return out;
}

QString RestoreWork::clearHolders(const Plan& plan)
{
    ProcessInfo processes;
    // This program's own size walk may be reading the copy: that is no holder to wait for.
    const qint64 self = QCoreApplication::applicationPid();
    QString holders = processes.FolderOpenByProcess(plan.source, self);
    if (holders.isEmpty())
        return {};
    DaemonQuery query = queryFor(DaemonPhase::ItemLock, plan);
    query.holders = holders;
    DaemonRuleRunner::runOnWorker(query);
    return processes.FolderOpenByProcess(plan.source, self);
}

RestoreWork::RestoreWork(const Plan& plan, const TrashAccess& trash)
    : m_plan(plan), m_trash(trash), m_manifest(plan.verifyContent), m_verdict("restoring", plan.item)
{
    m_control.manifest = &m_manifest;
}

RestoreWork::~RestoreWork() = default;

void RestoreWork::setCheckpoint(Checkpoint hook)
{
    std::lock_guard lock(g_hookMutex);
    g_hook = std::move(hook);
}

bool RestoreWork::checkpoint(const char* point)
{
    Checkpoint hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_hook;
    }
    return m_verdict.pass(point, !hook || hook(QString::fromLatin1(point), m_plan));
}

QString RestoreWork::vaultCopyWent() const
{
    std::lock_guard lock(m_mutex);
    return m_vaultCopyWent;
}

bool RestoreWork::begin(QString* error)
{
    const QVariantMap fields{{kItem, m_plan.item},
                             {kPlace, m_plan.place},
                             {kVault, m_plan.vault},
                             {kSource, m_plan.source},
                             {kLinkFlag, m_plan.linkFlag},
                             {kStaging, m_plan.staging},
                             {kKeepVaultCopy, m_plan.keepVaultCopy}};
    m_journal = JobJournal::begin(kKind, kStageCopying, fields, error);
    return m_journal != nullptr;
}

void RestoreWork::dropStaging()
{
    if (lexists(m_plan.stagingFolder()) && !removeStaging(m_plan.stagingFolder()))
        qCWarning(lcFiles) << "cannot remove" << m_plan.stagingFolder();
}

void RestoreWork::disposeOfVaultCopy()
{
    if (m_plan.keepVaultCopy || m_keepChangedSource)
        return;
    const QString went = disposeOf(m_plan.source, [this](QString* why) {
        return TrashRetries::trash(m_plan.source, m_trash.trash,
                                   queryFor(DaemonPhase::ThirdTrashAttempt, m_plan), m_control.cancelled,
                                   why);
    });
    std::lock_guard lock(m_mutex);
    m_vaultCopyWent = went;
}

bool RestoreWork::run()
{
    if (!checkpoint("copying"))
        return false;
    if (!m_journal)
        return fail(QStringLiteral("the job was not recorded"));
    // The place may have changed since the request looked at it.
    if (lexists(m_plan.place) && !VaultLink::leadsToOwnPlace(m_plan.place, m_plan.vault))
        return fail(QStringLiteral("%1 is no longer the link into the vault").arg(m_plan.place));
    if (::mkdir(encoded(m_plan.stagingFolder()).constData(), 0700) != 0)
        return fail(QStringLiteral("cannot create %1: %2")
                        .arg(m_plan.stagingFolder(), QString::fromLocal8Bit(std::strerror(errno))));
    const TreeCopier::Result copied = TreeCopier::copyInto(m_plan.source, m_plan.stagingFolder(), m_control);
    if (!copied.ok) {
        dropStaging();
        return fail(copied.error);
    }
    if (!checkpoint("copied"))
        return false;
    const CopyManifest::Result same = m_manifest.compareWithOriginal(m_plan.source, &m_control.cancelled);
    CopyManifest::Result content{true, {}};
    if (same.same && m_plan.verifyContent)
        content = m_manifest.readBack(m_plan.stagedCopy(), &m_control.cancelled);
    if (!same.same || !content.same) {
        dropStaging();
        return fail(QStringLiteral("the copy does not match: %1")
                        .arg(same.same ? content.difference : same.difference));
    }
    // The restored copy must be on the disk before the link it replaces goes.
    if (m_control.cancelled || !TreeVerifier::syncFileSystem(m_plan.stagingFolder())) {
        dropStaging();
        return fail(m_control.cancelled
                        ? QStringLiteral("cancelled")
                        : QStringLiteral("%1 could not be written to the disk").arg(m_plan.place));
    }

    QString why;
    if (!m_journal->advance(kStageSwapping, {}, &why)) {
        dropStaging();
        return fail(QStringLiteral("the job could not be recorded: %1").arg(why));
    }
    if (!checkpoint("swapping"))
        return false;
    // One step: the data path is the link or the whole copy, never neither.
    const bool hadLink = lexists(m_plan.place);
    if (::renameat2(AT_FDCWD, encoded(m_plan.stagedCopy()).constData(), AT_FDCWD,
                    encoded(m_plan.place).constData(), hadLink ? RENAME_EXCHANGE : RENAME_NOREPLACE) != 0) {
        const int err = errno;
        dropStaging();
        if (!m_journal->advance(kStageCopying, {}, &why))
            qCWarning(lcFiles) << "the restore of" << m_plan.item << "could not record its stage:" << why;
        return fail(QStringLiteral("cannot put the copy at %1: %2")
                        .arg(m_plan.place, QString::fromLocal8Bit(std::strerror(err))));
    }
    // A write to the vault's copy (through the link) between the check and the exchange would
    // otherwise live on only in the copy that goes: the exchange is undone and the job fails.
    const CopyManifest::Result still = m_manifest.compareWithOriginal(m_plan.source);
    if (!still.same) {
        const bool undone = ::renameat2(AT_FDCWD, encoded(m_plan.place).constData(), AT_FDCWD,
                                        encoded(m_plan.stagedCopy()).constData(),
                                        hadLink ? RENAME_EXCHANGE : RENAME_NOREPLACE) == 0;
        if (undone) {
            dropStaging();
            if (!m_journal->advance(kStageCopying, {}, &why))
                qCWarning(lcFiles) << "the restore of" << m_plan.item << "could not record its stage:" << why;
            return fail(
                QStringLiteral("%1 changed while it was restored: %2").arg(m_plan.source, still.difference));
        }
        // The copy stays in place; the vault keeps the changed one beside it.
        qCWarning(lcFiles) << "the restore of" << m_plan.item
                           << "could not be undone; the vault's copy stays";
        m_keepChangedSource = true;
    }
    // If this write is lost, the data path tells the next start.
    if (!m_journal->advance(kStageSwapped, {}, &why))
        qCWarning(lcFiles) << "the restore of" << m_plan.item << "could not record its stage:" << why;
    if (!checkpoint("swapped"))
        return false;
    // The hidden folder now holds only the old link.
    dropStaging();
    disposeOfVaultCopy();
    return checkpoint("trashed");
}

bool RestoreWork::recordOver(SettingsStore& settings, QString* error) const
{
    if (Records(settings).removeProtectedItem(m_plan.item, m_plan.linkFlag != 0))
        return true;
    if (error)
        *error = QStringLiteral("the settings file %1 could not be written")
                     .arg(Paths::settingsFile(settings.domain()));
    return false;
}

bool RestoreWork::endJournal()
{
    if (!m_journal)
        return true;
    const bool ok = m_journal->finish();
    m_journal.reset();
    return ok;
}

// ---- Start-up recovery ---------------------------------------------------------------------------

SettleOutcome RestoreWork::settle(const JobRecord& journal, const JobSettleServices& services)
{
    Plan plan;
    plan.item = journal.field(kItem);
    plan.place = journal.field(kPlace);
    plan.vault = journal.field(kVault);
    plan.staging = journal.field(kStaging);
    plan.linkFlag = journal.fields.value(kLinkFlag, 1).toInt();
    plan.keepVaultCopy = journal.fields.value(kKeepVaultCopy).toBool();
    const QString stage = journal.stage;
    // Never trusted beyond what a restore writes: the vault's copy is derived, not read.
    if (plan.item.isEmpty() || !Paths::isValidVaultName(plan.vault) || plan.place.isEmpty() ||
        !QDir::isAbsolutePath(plan.place) || QDir::cleanPath(plan.place) != plan.place ||
        !isStagingName(plan.staging, plan.place) ||
        !QStringList{kStageCopying, kStageSwapping, kStageSwapped}.contains(stage) || !services.settings)
        return SettleOutcome::Unreadable;
    SettingsStore& settings = *services.settings;
    settings.synchronize();
    const PathSafety::Verdict verdict = PathSafety::check(plan.place, PathSafety::fromSettings(settings));
    if (verdict != PathSafety::Verdict::Safe) {
        qCWarning(lcFiles) << "a restore job names" << plan.place << ":" << PathSafety::describe(verdict);
        return SettleOutcome::Unreadable;
    }
    plan.source = QDir::cleanPath(Paths::itemDataPath(plan.vault, plan.place));

    const bool swapped =
        stage == kStageSwapped || (stage == kStageSwapping && swapHappened(plan.place, plan.stagedCopy()));
    if (!swapped) {
        // Roll back: the link and the vault's copy are as they were; only the hidden copy goes.
        if (lexists(plan.stagingFolder()) && !removeStaging(plan.stagingFolder())) {
            qCWarning(lcFiles) << "cannot remove" << plan.stagingFolder();
            return SettleOutcome::Keep;
        }
        qCInfo(lcFiles) << "the restore of" << plan.item << "was undone";
        return SettleOutcome::Settled;
    }

    // Finish. Only real data at the data path lets the vault's copy go.
    const bool placeHoldsData = lexists(plan.place) && !isLink(plan.place);
    if (lexists(plan.stagingFolder()) && (!lexists(plan.stagedCopy()) || isLink(plan.stagedCopy())))
        removeStaging(plan.stagingFolder());
    const Records records(settings);
    if (placeHoldsData && !plan.keepVaultCopy && lexists(plan.source) && !isLink(plan.source)) {
        if (ItemPlace::vaultAttached(plan.vault, records.entry(SettingsKeys::VaultItem, plan.vault))) {
            disposeOf(plan.source, [&](QString* why) -> QString {
                if (!services.moveToTrash || !services.moveToTrash(plan.source, why))
                    return {};
                return plan.source;
            });
        } else {
            qCWarning(lcFiles) << "the vault copy of" << plan.item << "stays in the locked vault"
                               << plan.vault;
        }
    }
    if (records.entry(SettingsKeys::RedirectItem, plan.item) == plan.vault) {
        Records writer(settings);
        if (!writer.removeProtectedItem(plan.item, plan.linkFlag != 0)) {
            qCWarning(lcFiles) << "the records of" << plan.item << "could not be written";
            return SettleOutcome::Keep;
        }
    }
    qCInfo(lcFiles) << "the restore of" << plan.item << "was finished";
    return SettleOutcome::Settled;
}

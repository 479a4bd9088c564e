#include "status/VaultAutoLock.h"

#include "core/files/JobJournal.h"
#include "core/processes/DaemonQuitter.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/system/NoticePort.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/MountTable.h"
#include "core/vault/VolumeEjector.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>

namespace {

const QString kTitle = QStringLiteral("Zorvane");

bool isMounted(const QString& mountPoint)
{
    for (const MountEntry& entry : MountTable::read()) {
        if (entry.mountPoint == mountPoint)
            return true;
    }
    return false;
}

} // namespace

VaultAutoLock::VaultAutoLock(const AutoLockRequest& request, Services services, QObject* parent)
    : QObject(parent), m_request(request), m_services(std::move(services)), m_quitter(new DaemonQuitter(this))
{}

VaultAutoLock::~VaultAutoLock() = default;

QString VaultAutoLock::lockedText(const QString& item)
{
    return QStringLiteral("Locked %1").arg(item);
}

QString VaultAutoLock::cantLockTitle(const QString& vault)
{
    return QStringLiteral("Can't Lock vault: %1").arg(vault);
}

QString VaultAutoLock::stillUsingText(const QString& holders, const QString& vault)
{
    return QStringLiteral("\r\n%1 is still using the vault: \"%2\".\r\n\r\nPlease quit %1 and then try to "
                          "manually lock the vault again.")
        .arg(holders, vault);
}

QString VaultAutoLock::notLockedText(const QString& vault)
{
    return QStringLiteral("\r\nThe vault: \"%1\" could not be locked.\r\n\r\nPlease try to manually lock the "
                          "vault again.")
        .arg(vault);
}

QString VaultAutoLock::holdersInToolError(const QString& error)
{
    // "<mount point> is in use by name (pid N), name (pid M)"
    static const QString marker = QStringLiteral(" is in use by ");
    const qsizetype at = error.indexOf(marker);
    if (at < 0)
        return {};
    QStringList names;
    for (QString part : error.mid(at + marker.size()).split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
        const qsizetype pid = part.lastIndexOf(QStringLiteral(" (pid "));
        if (pid > 0)
            part.truncate(pid);
        part = part.trimmed();
        if (!part.isEmpty() && !names.contains(part))
            names.append(part);
    }
    return names.isEmpty() ? QString() : names.join(QLatin1Char(','));
}

bool VaultAutoLock::switchIsOn(const QString& key) const
{
    return m_services.settings && m_services.settings->boolForKey(key);
}

void VaultAutoLock::start()
{
    if (m_services.refreshSettings)
        m_services.refreshSettings();
    if (m_request.steps.stopDaemons) {
        DaemonQuery query(DaemonPhase::AutoLock);
        query.processName = m_request.processName;
        query.osVersion = m_request.osVersion;
        query.switchIsOn = [this](const QString& key) {
            return switchIsOn(key);
        };
        query.photoSoftwareProtected = m_request.photoSoftwareProtected;
        m_rows = DaemonTable::rulesFor(query);
    }
    const bool needHolders = std::any_of(m_rows.cbegin(), m_rows.cend(), [](const DaemonRule& rule) {
        return rule.conditions.testFlag(DaemonCondition::HoldsVaultFiles);
    });
    if (!needHolders) {
        runRow(0);
        return;
    }
    scanHolders([this](const Holders& holders) {
        m_holders = holders;
        runRow(0);
    });
}

void VaultAutoLock::runRow(qsizetype index)
{
    if (m_ended)
        return;
    if (index >= m_rows.size()) {
        eject(1);
        return;
    }
    const DaemonRule& rule = m_rows[index];
    // Only the processes that hold files in this vault, when the row says so.
    QList<qint64> pids;
    QStringList targets;
    for (const QString& target : rule.targets) {
        const QList<qint64> found = rule.conditions.testFlag(DaemonCondition::HoldsVaultFiles)
                                        ? m_holders.pidsOf.value(target)
                                        : ProcessInfo::pidsByName(target);
        if (!found.isEmpty() || !rule.conditions.testFlag(DaemonCondition::TargetRuns)) {
            pids << found;
            targets.append(target);
        }
    }
    if (pids.isEmpty() || (rule.action != DaemonAction::Quit && rule.action != DaemonAction::Stop)) {
        runRow(index + 1);
        return;
    }
    qCInfo(lcStatus) << "before locking" << m_request.vault << "stopping" << targets;
    if (rule.action == DaemonAction::Stop) {
        for (const QString& target : std::as_const(targets))
            ProcessInfo::KillDaemonByName(target);
        runRow(index + 1);
        return;
    }
    // Quit waits until they have ended (at most the grace time) before the next step.
    connect(
        m_quitter, &DaemonQuitter::finished, this, [this, index] { runRow(index + 1); },
        Qt::SingleShotConnection);
    m_quitter->quit(pids);
}

void VaultAutoLock::eject(int attempt)
{
    if (m_ended)
        return;
    // An application of another item in this vault may have started meanwhile.
    if (m_services.stillInUse) {
        const QString user = m_services.stillInUse();
        if (!user.isNull()) {
            qCInfo(lcStatus) << "leaving" << m_request.vault << "open: it is in use again";
            m_lastHolders = user;
            end(false);
            return;
        }
    }
    // Zorvane may be copying into or out of it between two files, when no file is held open.
    if (JobJournal::vaultsInUse().contains(m_request.vault)) {
        qCInfo(lcStatus) << "leaving" << m_request.vault << "open: Zorvane is moving files in it";
        m_lastHolders = QStringLiteral("Zorvane");
        end(false);
        return;
    }
    QString error;
    if (VolumeEjector::unmountAndEjectDeviceAtPath(m_request.mountPoint, &error) ||
        !isMounted(m_request.mountPoint)) {
        succeed();
        return;
    }
    m_toolHolders = holdersInToolError(error);
    const int tries = std::max(1, m_request.steps.ejects);
    if (attempt >= tries) {
        // Force only what no process holds: a fresh look, just before.
        scanHolders([this](const Holders& holders) { afterLastEject(holders.names); });
    } else if (attempt == tries - 1 && m_request.steps.stopDaemons) {
        scanHolders(
            [this, attempt](const Holders& holders) { applyHolderRows(holders.names, 0, attempt + 1); });
    } else {
        QTimer::singleShot(3, this, [this, attempt] { eject(attempt + 1); });
    }
}

void VaultAutoLock::applyHolderRows(const QString& holders, qsizetype index, int nextAttempt)
{
    if (m_ended)
        return;
    QList<DaemonRule> rows;
    if (!holders.isEmpty()) {
        DaemonQuery query(DaemonPhase::AutoLock);
        query.holders = holders;
        query.osVersion = m_request.osVersion;
        rows = DaemonTable::rulesFor(query);
    }
    if (index >= rows.size()) {
        eject(nextAttempt);
        return;
    }
    const DaemonRule& rule = rows[index];
    if (rule.action == DaemonAction::Quit) {
        connect(
            m_quitter, &DaemonQuitter::finished, this,
            [this, holders, index, nextAttempt] { applyHolderRows(holders, index + 1, nextAttempt); },
            Qt::SingleShotConnection);
        m_quitter->quitNamed(rule.targets);
        return;
    }
    if (rule.action == DaemonAction::Stop) {
        for (const QString& target : rule.targets)
            ProcessInfo::KillDaemonByName(target);
    }
    applyHolderRows(holders, index + 1, nextAttempt);
}

void VaultAutoLock::afterLastEject(const QString& holders)
{
    if (m_ended)
        return;
    // The tool's own scan at the failed detach counts as much as ours.
    QStringList names = holders.isEmpty() ? QStringList() : holders.split(QLatin1Char(','));
    if (!m_toolHolders.isEmpty()) {
        // The tool names processes by their short name (15 characters at most).
        for (const QString& name : m_toolHolders.split(QLatin1Char(','))) {
            if (std::none_of(names.cbegin(), names.cend(),
                             [&](const QString& found) { return found.startsWith(name); }))
                names.append(name);
        }
    }
    if (!names.isEmpty()) {
        fail(names.join(QLatin1Char(',')));
        return;
    }
    if (m_request.steps.forceWhenFree)
        forceDetach();
    else
        fail(QString());
}

void VaultAutoLock::forceDetach()
{
    qCInfo(lcStatus) << "forcing the detach of" << m_request.mountPoint << "(no process holds files in it)";
    m_forced = true;
    m_detach = AttachDiskImageController::hdiutilTaskWithCommand(
        QStringLiteral("detach"), m_request.mountPoint, {QStringLiteral("-force")});
    DiskImageTask* task = m_detach.get();
    const auto confirm = [this] {
        // The mount table, not the tool's word, says whether the vault is gone.
        if (isMounted(m_request.mountPoint))
            fail(QString());
        else
            succeed();
    };
    connect(task, &QProcess::finished, this, confirm);
    connect(task, &QProcess::errorOccurred, this, [confirm](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            confirm();
    });
    task->launch();
}

void VaultAutoLock::scanHolders(std::function<void(const Holders&)> then)
{
    QStringList targets;
    for (const DaemonRule& rule : std::as_const(m_rows)) {
        if (rule.conditions.testFlag(DaemonCondition::HoldsVaultFiles))
            targets << rule.targets;
    }
    // The open-file scan reads every process's descriptors: not on the main thread.
    const QPointer<VaultAutoLock> guard(this);
    const QString mountPoint = m_request.mountPoint;
    QThreadPool::globalInstance()->start([guard, mountPoint, targets, then = std::move(then)] {
        Holders holders;
        holders.names = ProcessInfo().FolderOpenByProcess(mountPoint);
        const QByteArray folder = QFile::encodeName(QFileInfo(mountPoint).canonicalFilePath());
        const ProcTable table;
        for (const QString& target : targets) {
            for (qint64 pid : ProcessInfo::pidsByName(target)) {
                if (!folder.isEmpty() && table.holdsPathUnder(pid, folder))
                    holders.pidsOf[target].append(pid);
            }
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, holders, then] {
                if (guard)
                    then(holders);
            },
            Qt::QueuedConnection);
    });
}

void VaultAutoLock::succeed()
{
    if (m_services.refreshSettings)
        m_services.refreshSettings();
    if (m_request.steps.notices && m_services.notices && switchIsOn(SettingsKeys::EnableNotifications))
        m_services.notices->notify(kTitle, lockedText(m_request.item), false);
    end(true);
}

void VaultAutoLock::fail(const QString& holders)
{
    qCInfo(lcStatus) << "cannot lock" << m_request.vault << (holders.isEmpty() ? QString() : holders);
    m_lastHolders = holders;
    // Whatever the notification switch says: the user must know the vault is still open.
    if (m_request.steps.notices && m_services.notices)
        m_services.notices->notify(cantLockTitle(m_request.vault),
                                   holders.isEmpty() ? notLockedText(m_request.vault)
                                                     : stillUsingText(holders, m_request.vault),
                                   true);
    end(false);
}

void VaultAutoLock::end(bool locked)
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_detach)
        m_detach->disconnect(this);
    Q_EMIT finished(locked);
}

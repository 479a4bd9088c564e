#include "app/vaults/VaultLocker.h"

#include "core/processes/DaemonRuleRunner.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/system/OffThread.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/DiskImageTask.h"
#include "core/vault/VaultVolume.h"
#include "core/vault/VolumeEjector.h"

namespace {

const QString kStatusProcessName = QStringLiteral("ZorvaneStatus");

} // namespace

bool VaultLocker::detach(const QString& mountPoint, bool force)
{
    if (s_detach)
        return s_detach(mountPoint, force);
    if (!force)
        return OffThread::wait([&] { return VolumeEjector::unmountAndEjectDeviceAtPath(mountPoint); });
    const auto task = AttachDiskImageController::hdiutilTaskWithCommand(QStringLiteral("detach"), mountPoint,
                                                                        {QStringLiteral("-force")});
    return task->runInLocalLoop() == 0;
}

QString VaultLocker::holdersOf(const QString& mountPoint)
{
    return OffThread::wait([&] { return ProcessInfo().FolderOpenByProcess(mountPoint); });
}

VaultLocker::Result VaultLocker::lock(const QString& imagePath, const Options& options)
{
    Result result;
    const auto mounted = VaultVolume::mountOfImage(imagePath);
    if (!mounted) {
        result.locked = true;
        return result;
    }
    result.mountPoint = mounted->mountPoint;
    // Success is what the mount table says, whatever the tool answered.
    const auto gone = [&] {
        return !VaultVolume::mountOfImage(imagePath);
    };
    bool locked = detach(result.mountPoint, false) && gone();
    if (!locked && options.stopHolderDaemons) {
        const QString holders = holdersOf(result.mountPoint);
        DaemonQuery query(DaemonPhase::ItemLock);
        query.holders = holders;
        if (!holders.isEmpty() && !DaemonTable::rulesFor(query).isEmpty()) {
            OffThread::wait([&] { DaemonRuleRunner::runOnWorker(query); });
            locked = detach(result.mountPoint, false) && gone();
        }
    }
    if (!locked && options.forceWhenUnheld) {
        // Forced only over files nobody has open: a fresh look, just before.
        result.holders = holdersOf(result.mountPoint);
        if (result.holders.isEmpty()) {
            qCInfo(lcItems) << "forcing the detach of" << result.mountPoint
                            << "(no process holds files in it)";
            locked = detach(result.mountPoint, true) && gone();
        }
    }
    if (!locked) {
        if (result.holders.isEmpty())
            result.holders = holdersOf(result.mountPoint);
        qCInfo(lcItems) << "the vault at" << result.mountPoint << "stays attached; held by" << result.holders;
        return result;
    }
    result.locked = true;
    dealappstore(imagePath, true);
    if (options.forgetStartup && m_settings.boolForKey(SettingsKeys::MountAtStart))
        Records(m_settings).removeStartupItem(imagePath);
    return result;
}

void VaultLocker::dealappstore(const QString& imagePath, bool isLock)
{
    ProcessInfo processes;
    processes.obtainFreshProcessList();
    // The helper keeps these places itself while it runs.
    if (processes.findProcessWithName(kStatusProcessName))
        return;
    m_controller.dealappstore(imagePath, isLock);
}

QString VaultLocker::failedText(const QString& vaultName, const QString& holders)
{
    return holders.isEmpty()
               ? QStringLiteral("The vault: \"%1\" could not be locked.\r\n\r\nPlease make sure that all "
                                "applications and files are closed on this vault.")
                     .arg(vaultName)
               : QStringLiteral("\"%1\" is still using the vault: \"%2\".\r\n\r\nPlease quit %1 and then try "
                                "to lock the vault again.")
                     .arg(holders, vaultName);
}

#include "app/items/RestoreRequest.h"

#include "app/items/FileJob.h"
#include "app/items/ProtectPort.h"
#include "app/items/item1.h"
#include "core/catalogue/Catalogue.h"
#include "core/files/FileOperation.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/Logging.h"
#include "core/system/OffThread.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/ItemPlace.h"
#include "core/vault/ProtectWork.h"
#include "core/vault/RestoreWork.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VaultVolume.h"
#include "platform/Trash.h"
#include "ui/AttachedWindow.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTableView>
#include <algorithm>

namespace {

const QString kDecryptionFailed = QStringLiteral("Decryption Failed");

} // namespace

QList<int> RestoreRequest::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_page.tableview()->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QStringList RestoreRequest::namesOf(const QList<int>& rows) const
{
    QStringList names;
    QMutexLocker lock(&m_page.m_tableviewlock);
    for (int index : rows)
        if (index < m_page.m_tablelist.size())
            names.append(m_page.m_tablelist.at(index).name());
    return names;
}

void RestoreRequest::refuse(const QString& title, const QString& text, const QString& detail) const
{
    Alert alert(title, text);
    alert.accessoryText = detail;
    m_page.m_services.alerts->runAlert(alert, m_page.window());
}

void RestoreRequest::confirm()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        refuse(
            QStringLiteral("No Item selected"),
            QStringLiteral("There is no item is selected, please select at least one item from the list and "
                           "try again."));
        return;
    }
    const QStringList names = namesOf(rows);
    Alert alert(
        QStringLiteral("Remove password protection?"),
        QStringLiteral("Do you really want to remove the password protection from:%1.\r\n\r\nIf you click "
                       "\"Decrypt\", Zorvane will restore the selected items to their original location "
                       "and remove the password protection.")
            .arg(names.join(QLatin1Char(','))),
        {QStringLiteral("Cancel"), QStringLiteral("Decrypt")});
    answered(m_page.m_services.alerts->runAlert(alert, m_page.window()));
}

void RestoreRequest::answered(int returnCode)
{
    const QList<int> rows = selectedRows();
    if (returnCode == AlertPort::kFirstButton || rows.isEmpty())
        return;
    const QStringList names = namesOf(rows);
    // A running owner refuses the whole request before anything changes.
    ProcessInfo processes;
    processes.obtainFreshProcessList();
    QStringList processNames;
    for (const QString& name : std::as_const(names)) {
        const CatalogueEntry* entry = Catalogue::findByName(m_page.m_xmlarray, name);
        if (!entry || entry->processname.isEmpty())
            continue;
        for (const QString& process : entry->processname.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            processNames.append(process);
            if (processes.findProcessWithName(process)) {
                refuse(QStringLiteral("Quit %1 first.").arg(process),
                       QStringLiteral("Please quit %1 application first.").arg(process));
                return;
            }
        }
    }
    SettingsStore& settings = *m_page.m_services.settings;
    if (settings.boolForKey(SettingsKeys::WarningTextRestore)) {
        m_page.setIsWarningRestore(true);
        const QString text =
            processNames.isEmpty()
                ? QStringLiteral("Please don't open unnecessary applications during the decryption progress.")
                : QStringLiteral(
                      "Please don't open %1 or other unnecessary applications during the decryption "
                      "progress.")
                      .arg(processNames.join(QLatin1Char(',')));
        m_page.ClickWarningWindow(m_page.m_port->runWarningWindow(m_page.window(), text));
    }
    for (const QString& name : std::as_const(names))
        if (!restoreOne(name))
            break;
}

bool RestoreRequest::restoreOne(const QString& name)
{
    SettingsStore& settings = *m_page.m_services.settings;
    {
        QMutexLocker lock(&m_page.m_tableviewlock);
        const int index = m_page.rowOfItem(name);
        if (index < 0)
            return true;
        if (m_page.m_tablelist.at(index).isBusy()) {
            refuse(
                kDecryptionFailed,
                QStringLiteral("\"%1\" is being worked on right now. Please wait until that has finished and "
                               "try again.")
                    .arg(name));
            return true;
        }
    }
    const Records records(settings);
    const QString vault = records.entry(SettingsKeys::RedirectItem, name);
    const QString image = records.entry(SettingsKeys::VaultItem, vault);
    if (image.isEmpty() || !FileOperation::FileOrFolderIsExists(image)) {
        refuse(QStringLiteral("Vault is not available"),
               QStringLiteral(
                   "The vault:\"%1\" is not accessible, if the vault is stored in a netword drive or an "
                   "external drive, please mount the drive first.")
                   .arg(vault));
        return false;
    }
    if (!ItemPlace::vaultAttached(vault, image)) {
        if (m_page.m_diskImageController->mountDiskImageAtPath(image) != AttachDiskImageController::kUnlocked)
            return false;
        m_page.m_usage->jobEnded(image);
    }

    const ItemPlace place = ItemPlace::resolve(name, vault, m_page.m_xmlarray, settings);
    const QString cannot =
        QStringLiteral(
            "%1 can not be decrypted,this problem is most likely caused by another process has the "
            "files open and locked.")
            .arg(name);
    if (place.dataPath.isEmpty()) {
        refuse(kDecryptionFailed, cannot,
               QStringLiteral("Zorvane does not know where %1 belongs.").arg(name));
        return true;
    }
    RestoreWork::Prepared prepared =
        RestoreWork::prepare(name, vault, place.dataPath, place.isCustom ? 1 : place.linkFlag, settings);
    if (!prepared.plan) {
        refuse(kDecryptionFailed, cannot, prepared.refusal);
        return true;
    }
    RestoreWork::Plan plan = *prepared.plan;
    plan.verifyContent = settings.boolForKey(SettingsKeys::VerifyCopyContent);

    // Whatever keeps files of the vault's copy open would go on writing there, behind the back of
    // the restored copy.
    const QString holders = OffThread::wait([&] { return RestoreWork::clearHolders(plan); });
    if (!holders.isEmpty()) {
        refuse(kDecryptionFailed, cannot,
               QStringLiteral("\"%1\" is still using the files of %2. Please quit %1 and try again.")
                   .arg(holders, name));
        return true;
    }
    const quint64 size = OffThread::wait([&] { return FileOperation::GetCapacity(plan.source); });
    const std::optional<qint64> free =
        OffThread::wait([&] { return VaultVolume::diskFree(QFileInfo(plan.place).absolutePath()); });
    if (!free || quint64(std::max<qint64>(0, *free)) <= size) {
        refuse(
            QStringLiteral("Not enough space"),
            QStringLiteral("There is not enough free space to restore %1 to its original location: it needs "
                           "%2, %3 is available.\r\n\r\nPlease free some space and try again.")
                .arg(name, FileOperation::stringFromFileSize(size),
                     FileOperation::stringFromFileSize(quint64(std::max<qint64>(0, free.value_or(0))))));
        return true;
    }

    auto work = std::make_unique<RestoreWork>(plan, m_page.m_services.trash->access());
    QString why;
    if (!OffThread::wait([&] { return work->begin(&why); })) {
        refuse(kDecryptionFailed,
               QStringLiteral("Zorvane could not record the job, so nothing was changed: %1").arg(why));
        return true;
    }
    JobVerdict::killPoint("journaled");
    FileJob::startRestore(m_page, std::move(work), size);
    return true;
}

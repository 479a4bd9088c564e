#include "app/items/ItemLock.h"

#include "app/items/ProtectPort.h"
#include "app/items/item1.h"
#include "app/vaults/VaultLocker.h"
#include "core/catalogue/Catalogue.h"
#include "core/files/FileOperation.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/vault/AttachDiskImageController.h"
#include "ui/AttachedWindow.h"

#include <QProgressBar>

void ItemLock::refuse(const QString& title, const QString& text) const
{
    m_page.m_services.alerts->runAlert(Alert(title, text), m_page.window());
}

void ItemLock::open(int index)
{
    struct Row
    {
        QString name;
        QString vault;
        bool busy = false;
        bool unlocked = false;
    };
    Row row;
    QList<Row> sameVault;
    {
        QMutexLocker lock(&m_page.m_tableviewlock);
        if (index < 0 || index >= m_page.m_tablelist.size())
            return;
        const tableviewmodel& clicked = m_page.m_tablelist.at(index);
        row = {clicked.name(), clicked.redirectpath(), clicked.isBusy(), clicked.imagenum() == 1};
        for (const tableviewmodel& other : std::as_const(m_page.m_tablelist))
            if (other.redirectpath() == row.vault)
                sameVault.append({other.name(), other.redirectpath(), other.isBusy(), other.imagenum() == 1});
    }
    const auto cantLock = [&](const QString& shownName) {
        refuse(QStringLiteral("Can't lock vault: \"%1\"").arg(row.vault),
               QStringLiteral(
                   "You want to lock \"%1\", which is stored in vault: \"%2\"; currently the vault is in "
                   "use and could not be locked, please waiting for the file operation process to "
                   "complete.")
                   .arg(shownName, row.vault));
    };
    if (row.busy && row.unlocked)
        return cantLock(row.name);

    bool anyBusy = false;
    QStringList others;
    for (const Row& other : std::as_const(sameVault)) {
        anyBusy = anyBusy || other.busy;
        if (other.name != row.name)
            others.append(other.name);
    }
    const QString description = m_page.descriptionOf(row.name);
    // Any copy in or out of the vault refuses a lock, whether or not the item has a description.
    if (anyBusy && row.unlocked)
        return cantLock(description.isEmpty() ? row.name : description);

    SettingsStore& settings = *m_page.m_services.settings;
    if (!others.isEmpty() && settings.boolForKey(SettingsKeys::TipLock) && !description.isEmpty()) {
        const QString tail = QStringLiteral(
            "\r\n\r\nIf you don't want to affect any other applications when you need to lock(unlock) one "
            "application's data files, click \"Edit\" on the main toolbar and save the other application's "
            "data "
            "file to a different vault.");
        const QString joined = others.join(QLatin1Char(','));
        const QString title = row.unlocked ? QStringLiteral("Lock \"%1\"").arg(row.name)
                                           : QStringLiteral("Unlock \"%1\"").arg(row.name);
        const QString text =
            row.unlocked
                ? QStringLiteral(
                      "You want to lock \"%1\", which is stored in vault \"%2\"; the vault needs to be "
                      "locked to start protecting its contents. Currently %3 data files are also stored "
                      "in the same vault; when the vault is locked, these files will also be locked.")
                          .arg(description, row.vault, joined) +
                      tail
                : QStringLiteral(
                      "You want to unlock \"%1\", which is stored in vault: \"%2\"; the vault needs to "
                      "be unlocked to access its contents. Currently %3 data files are also stored in "
                      "the same vault; when the vault is unlocked, these files will also be unlocked.")
                          .arg(description, row.vault, joined) +
                      tail;
        // ClickWarningLockWindow: a ticked box stops further notices.
        if (m_page.m_port->runWarningLockWindow(m_page.window(), title, text))
            settings.setObject(QStringLiteral("NO"), SettingsKeys::TipLock);
    }

    if (row.unlocked) {
        ProcessInfo processes;
        processes.obtainFreshProcessList();
        QStringList running;
        for (const Row& other : std::as_const(sameVault)) {
            for (const CatalogueEntry& entry : std::as_const(m_page.m_xmlarray)) {
                if (entry.name != other.name)
                    continue;
                for (const QString& process : entry.processname.split(QLatin1Char('|'), Qt::SkipEmptyParts))
                    if (processes.findProcessWithName(process) && !running.contains(process))
                        running.append(process);
            }
        }
        if (!running.isEmpty())
            return refuse(
                QStringLiteral("Vault is in use"),
                QStringLiteral("Please close application:%1. Which data files are stored in the vault, "
                               "and try again.")
                    .arg(running.join(QLatin1Char(','))));
    }
    mountSelectItem(row.vault, !row.unlocked);
}

void ItemLock::mountSelectItem(const QString& vaultName, bool isMount)
{
    QProgressBar* spinner = m_page.m_scanProcess;
    spinner->show();
    SettingsStore& settings = *m_page.m_services.settings;
    const QString path = Records(settings).entry(SettingsKeys::VaultItem, vaultName);
    if (path.isEmpty() || !FileOperation::FileOrFolderIsExists(path)) {
        refuse(QStringLiteral("Vault is unavailable"),
               QStringLiteral(
                   "The vault:\"%1\" is not accessible, if the vault is stored in a netword drive or an "
                   "external drive, please mount the drive first.")
                   .arg(vaultName));
        spinner->hide();
        return;
    }
    if (isMount) {
        // The rows follow the mount event.
        m_page.m_diskImageController->mountDiskImageAtPath(path);
    } else {
        VaultLocker::Options options;
        options.stopHolderDaemons = true;
        options.forceWhenUnheld = true;
        const VaultLocker::Result result =
            VaultLocker(settings, *m_page.m_diskImageController).lock(path, options);
        if (!result.locked)
            refuse(QStringLiteral("Failed to lock"), VaultLocker::failedText(vaultName, result.holders));
    }
    spinner->hide();
}

#include "status/StatusMenuActions.h"

#include "core/catalogue/CatalogueEntry.h"
#include "core/files/FileOperation.h"
#include "core/files/MakeSymbolicLink.h"
#include "core/files/VaultLink.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/ApplicationLauncher.h"
#include "core/system/BundleLayout.h"
#include "core/system/Logging.h"
#include "core/system/NoticePort.h"
#include "core/system/UrlOpener.h"
#include "core/vault/VaultVolume.h"
#include "platform/BusNameOwner.h"
#include "status/StatusAttachDiskImageController.h"
#include "status/VaultAutoLock.h"

#include <QFileInfo>
#include <QUrl>

namespace {

const QString kTitle = QStringLiteral("Zorvane");

} // namespace

StatusMenuActions::StatusMenuActions(StatusAttachDiskImageController* controller,
                                     const StatusMenuServices& services, QObject* parent)
    : QObject(parent), m_controller(controller), m_services(services)
{}

// ---- Texts ---------------------------------------------------------------------------------------

QString StatusMenuActions::alreadyRunningText()
{
    return QStringLiteral("Zorvane is already running.");
}

QString StatusMenuActions::unlockedFolderText(const QString& item)
{
    return QStringLiteral("Unlocked '%1'").arg(item);
}

QString StatusMenuActions::lockedFolderText(const QString& item)
{
    return QStringLiteral("Locked '%1'").arg(item);
}

QString StatusMenuActions::openVaultMessage()
{
    return QStringLiteral(
        "\r\nYou have just opened a vault, the vault contains your sensitive documents, you can now view "
        "your "
        "files or back up them to an external drive for safekeeping. \r\n\r\nNote, please do not delete or "
        "rename any files or folders in the vault, doing so could potentially cause data loss.\r\n\r\nThis "
        "message will only be displayed once, click to hide this message.");
}

QString StatusMenuActions::manualLockMessage()
{
    return QStringLiteral(
        "\r\nYou have just unlocked an individual folder, Zorvane will not lock it automatically when you "
        "have "
        "finished with the folder. \r\n\r\nYou need to lock the folder manually after you have finished with "
        "that folder by clicking the Zorvane icon in the menu bar, from Folders menu, click "
        "'Lock'.\r\n\r\nThis "
        "message will only be displayed once.");
}

QString StatusMenuActions::vaultInUseTitle()
{
    return QStringLiteral("Vault in use");
}

QString StatusMenuActions::vaultInUseText(const QString& holder, const QString& vault)
{
    return QStringLiteral(
               "\r\n%1 is still using the vault: \"%2\".\r\n\r\nPlease quit %1 and then try to lock "
               "the vault again.")
        .arg(holder, vault);
}

QString StatusMenuActions::stillOpenText(const QString& vault)
{
    return QStringLiteral(
               "\r\nThe vault: \"%1\" could not be locked, it is still in use.\r\n\r\nPlease quit the "
               "applications using it and then try to lock the vault again.")
        .arg(vault);
}

QString StatusMenuActions::cannotOpenText(const QString& vault)
{
    return QStringLiteral("\r\nThe vault \"%1\" is missing or could not be opened.").arg(vault);
}

QString StatusMenuActions::foreignLinkText(const QString& item, const QString& place, const QString& target)
{
    return QStringLiteral(
               "\r\n'%1' was not opened: %2 leads to %3, which is not its place in its vault.\r\n\r\n"
               "The link was left as it is.")
        .arg(item, place, target);
}

QString StatusMenuActions::quitHeader()
{
    return QStringLiteral("Quit Zorvane Helper App?");
}

QString StatusMenuActions::quitMessage()
{
    return QStringLiteral(
        "When Zorvane Helper App is quit, the following features will be lost:\r\n\r\n1. Pop-up Password box "
        "feature: When you try to open a locked application then a password box will pop up to ask you for "
        "the password.\r\n\r\n2. Auto-Lock Feature: Zorvane Helper App will automatically lock the Idle "
        "vault.\r\n\r\nAre you sure you want to quit Zorvane Helper App?");
}

// ---- Helpers -------------------------------------------------------------------------------------

SettingsStore* StatusMenuActions::settings() const
{
    return m_controller ? m_controller->services().settings : nullptr;
}

QString StatusMenuActions::entry(const QString& list, const QString& name) const
{
    SettingsStore* store = settings();
    return store ? Records(*store).entry(list, name) : QString();
}

bool StatusMenuActions::notificationsEnabled() const
{
    return settings() && settings()->boolForKey(SettingsKeys::EnableNotifications);
}

bool StatusMenuActions::isUnlocked(const QString& vault) const
{
    // A folder of the vault's name with nothing mounted on it is no open vault.
    return !vault.isEmpty() && VaultVolume::mountedVaultNames().contains(vault);
}

int StatusMenuActions::prompt(const QString& image, int kind, const QString& name, const QString& vault)
{
    const int result = m_controller->mountDiskImageAtPath(image, kind, name, {}, {}, nullptr);
    // Nobody was asked: the user must learn why nothing opens.
    if (result != AttachDiskImageController::kUnlocked &&
        m_controller->lastPromptOutcome() == StatusAttachDiskImageController::PromptOutcome::Failed &&
        m_services.notices)
        m_services.notices->notify(StatusAttachDiskImageController::notOpenedTitle(vault),
                                   cannotOpenText(vault), true);
    return result;
}

void StatusMenuActions::showInFileBrowser(const QString& path)
{
    if (m_services.files && !m_services.files->openUrl(QUrl::fromLocalFile(path)))
        qCWarning(lcStatus) << "cannot show" << path << "in the file browser";
}

void StatusMenuActions::launch(const QString& applicationPath)
{
    if (!applicationPath.isEmpty() && m_services.launcher)
        m_services.launcher->launchApplication(applicationPath);
}

void StatusMenuActions::showOnce(const QString& flag, const QString& text)
{
    if (!m_services.notices || m_onceSending.contains(flag))
        return;
    m_onceSending.insert(flag);
    SettingsStore* store = settings();
    m_services.notices->notifyConfirmed(kTitle, text, true, [this, store, flag](bool shown) {
        m_onceSending.remove(flag);
        if (shown && store)
            store->setObject(QStringLiteral("YES"), flag);
    });
}

void StatusMenuActions::relinkIfMissing(const QString& place, const QString& vault)
{
    if (FileOperation::FileOrFolderIsExists(place))
        return;
    const QString inVault = Paths::itemDataPath(vault, place);
    if (FileOperation::FileOrFolderIsExists(inVault) && !MakeSymbolicLink(place, inVault))
        qCWarning(lcStatus) << "cannot link" << place << "to" << inVault;
}

bool StatusMenuActions::refuseForeignLink(const QString& item, const QString& place, const QString& vault)
{
    if (!StatusAttachDiskImageController::IsFileASymlnkOrAlias(place) ||
        VaultLink::leadsToOwnPlace(place, vault))
        return false;
    const QString target = VaultLink::target(place);
    qCWarning(lcStatus) << "not opening" << item << ":" << place << "leads to" << target;
    // Whatever the notification switch says: the user must learn why nothing opens.
    if (m_services.notices)
        m_services.notices->notify(kTitle, foreignLinkText(item, place, target), true);
    return true;
}

QString StatusMenuActions::applicationPath(const CatalogueEntry& entry)
{
    const QString existing = entry.existingAppPath();
    return existing.isEmpty() ? entry.appPaths().value(entry.appPaths().size() - 1) : existing;
}

// ---- Open ----------------------------------------------------------------------------------------

void StatusMenuActions::openzorvane()
{
    m_controller->refreshSettings();
    QString path = settings() ? settings()->stringForKey(SettingsKeys::DefaultAppPath) : QString();
    if (path.isEmpty())
        path = BundleLayout::mainBundlePath();
    const auto decide = [this, path](bool runs) {
        if (runs) {
            m_controller->refreshSettings();
            if (notificationsEnabled() && m_services.notices)
                m_services.notices->notify(kTitle, alreadyRunningText(), false);
        } else {
            launch(path);
        }
        Q_EMIT openZorvaneDone(!runs);
    };
    if (!m_services.bus.isConnected()) {
        // Zorvane keeps itself to one copy per session anyway.
        decide(false);
        return;
    }
    // A running Zorvane owns its bus name. Asked without waiting: the bus may be slow.
    BusNameOwner::ask(m_services.bus, kZorvaneBusName, this, decide);
}

void StatusMenuActions::openFolderSubitem(const QString& item)
{
    m_controller->refreshSettings();
    const QString folder = entry(SettingsKeys::CustomFolderItem, item);
    const QString vault = entry(SettingsKeys::RedirectItem, item);
    if (folder.isEmpty())
        return;
    relinkIfMissing(folder, vault);
    if (!StatusAttachDiskImageController::IsFileASymlnkOrAlias(folder) ||
        refuseForeignLink(item, folder, vault))
        return;
    showInFileBrowser(folder);
}

void StatusMenuActions::openFolderApp(const QString& item)
{
    m_controller->refreshSettings();
    const QString folder = entry(SettingsKeys::CustomFolderItem, item);
    const QString vault = entry(SettingsKeys::RedirectItem, item);
    const QString image = entry(SettingsKeys::VaultItem, vault);
    if (folder.isEmpty() || refuseForeignLink(item, folder, vault))
        return;
    if (!FileOperation::FileOrFolderIsExists(folder) && !isUnlocked(vault)) {
        if (prompt(image, StatusAttachDiskImageController::kCustomFolder, item, vault) ==
            AttachDiskImageController::kUnlocked)
            relinkIfMissing(folder, vault);
    }
    // A folder that is not a link is left alone.
    if (!StatusAttachDiskImageController::IsFileASymlnkOrAlias(folder))
        return;
    if (!QFileInfo::exists(folder)) {
        if (prompt(image, StatusAttachDiskImageController::kCustomFolder, item, vault) !=
            AttachDiskImageController::kUnlocked)
            return;
        m_controller->refreshSettings();
        if (notificationsEnabled() && m_services.notices) {
            m_services.notices->notify(kTitle, unlockedFolderText(item), false);
            if (!settings()->boolForKey(SettingsKeys::NoManuallyLockAttention))
                showOnce(SettingsKeys::NoManuallyLockAttention, manualLockMessage());
        }
    }
    showInFileBrowser(folder);
}

void StatusMenuActions::openAppSubitem(const QString& item)
{
    m_controller->refreshSettings();
    const QString vault = entry(SettingsKeys::RedirectItem, item);
    for (const CatalogueEntry& candidate : m_controller->loadCatalogue()) {
        if (candidate.name != item || refuseForeignLink(item, m_controller->libraryPath(candidate), vault))
            continue;
        launch(applicationPath(candidate));
    }
}

void StatusMenuActions::openMenuApp(const QString& item)
{
    m_controller->refreshSettings();
    const QString vault = entry(SettingsKeys::RedirectItem, item);
    const QString image = entry(SettingsKeys::VaultItem, vault);
    for (const CatalogueEntry& candidate : m_controller->loadCatalogue()) {
        if (candidate.name != item)
            continue;
        const QString lib = m_controller->libraryPath(candidate);
        const int sym = candidate.symlinkFlag();
        if (refuseForeignLink(item, lib, vault))
            continue;
        if (!FileOperation::FileOrFolderIsExists(lib) && !isUnlocked(vault)) {
            if (prompt(image, StatusAttachDiskImageController::kApplication, item, vault) ==
                AttachDiskImageController::kUnlocked)
                relinkIfMissing(lib, vault);
        }
        const bool isLink = StatusAttachDiskImageController::IsFileASymlnkOrAlias(lib);
        if (!isLink && sym != 0)
            continue;
        if (!(QFileInfo::exists(lib) && (sym != 0 || isLink))) {
            if (prompt(image, StatusAttachDiskImageController::kApplication, item, vault) !=
                AttachDiskImageController::kUnlocked)
                continue;
            m_controller->refreshSettings();
            if (notificationsEnabled() && m_services.notices)
                m_services.notices->notify(kTitle, StatusAttachDiskImageController::unlockedText(item),
                                           false);
        }
        launch(applicationPath(candidate));
    }
}

void StatusMenuActions::openMenuVaults(const QString& vault)
{
    m_controller->refreshSettings();
    if (!isUnlocked(vault)) {
        const QString image = entry(SettingsKeys::VaultItem, vault);
        if (prompt(image, StatusAttachDiskImageController::kVault, vault, vault) !=
                AttachDiskImageController::kUnlocked ||
            !isUnlocked(vault))
            return;
    }
    showInFileBrowser(Paths::mountPoint(vault));
    m_controller->refreshSettings();
    if (notificationsEnabled() && !settings()->boolForKey(SettingsKeys::NoOpenVaultAttention))
        showOnce(SettingsKeys::NoOpenVaultAttention, openVaultMessage());
}

void StatusMenuActions::openVaultSubitem(const QString& vault)
{
    if (!isUnlocked(vault))
        return;
    showInFileBrowser(Paths::mountPoint(vault));
    m_controller->refreshSettings();
    // Shown whatever the notification switch says.
    if (settings() && !settings()->boolForKey(SettingsKeys::NoOpenVaultAttention))
        showOnce(SettingsKeys::NoOpenVaultAttention, openVaultMessage());
}

// ---- Lock ----------------------------------------------------------------------------------------

void StatusMenuActions::lockFolderSubitem(const QString& item)
{
    lock(Kind::Folder, item);
}

void StatusMenuActions::lockAppSubitem(const QString& item)
{
    lock(Kind::Application, item);
}

void StatusMenuActions::lockVaultSubitem(const QString& vault)
{
    lock(Kind::Vault, vault);
}

void StatusMenuActions::lock(Kind kind, const QString& name)
{
    m_controller->refreshSettings();
    const QString vault = kind == Kind::Vault ? name : entry(SettingsKeys::RedirectItem, name);
    const QString image = entry(SettingsKeys::VaultItem, vault);
    const bool notices = notificationsEnabled() && m_services.notices;
    const QString user = m_controller->IsAnyTaskStillUseVault(vault);
    if (!user.isNull()) {
        if (notices)
            m_services.notices->notify(vaultInUseTitle(), vaultInUseText(user, vault), true);
        Q_EMIT lockFinished(vault, false);
        return;
    }
    const QString mountPoint = image.isEmpty() ? QString() : m_controller->getMountPointWithDiskImage(image);
    if (mountPoint.isEmpty()) {
        Q_EMIT lockFinished(vault, !isUnlocked(vault));
        return;
    }

    AutoLockRequest request;
    request.item = name;
    request.vault = vault;
    request.imagePath = image;
    request.mountPoint = mountPoint;
    // One plain eject; with notices off nothing more is tried. A detach is forced only when
    // neither the tool nor a fresh scan names a holder, and counts only once the mount table
    // no longer shows the vault.
    request.steps = LockSteps{false, 1, notices, false};
    VaultAutoLock* job = m_controller->lockVault(request);
    if (!job)
        return; // already being locked
    connect(job, &VaultAutoLock::finished, this, [this, job, kind, name, vault, notices](bool locked) {
        if (notices && locked && kind != Kind::Vault) {
            const bool quoted = kind == Kind::Folder || job->forced();
            m_services.notices->notify(
                kTitle, quoted ? lockedFolderText(name) : VaultAutoLock::lockedText(name), false);
        } else if (notices && !locked) {
            const QString holders = job->holders();
            m_services.notices->notify(
                vaultInUseTitle(), holders.isEmpty() ? stillOpenText(vault) : vaultInUseText(holders, vault),
                true);
        }
        Q_EMIT lockFinished(vault, locked);
    });
}

// ---- Quit ----------------------------------------------------------------------------------------

void StatusMenuActions::quitself()
{
    Alert alert(quitHeader(), quitMessage(), {QStringLiteral("OK"), QStringLiteral("Cancel")});
    alert.style = Alert::Style::Informational;
    if (m_services.alerts && m_services.alerts->runAlert(alert) == AlertPort::kFirstButton)
        m_controller->needQuit();
}

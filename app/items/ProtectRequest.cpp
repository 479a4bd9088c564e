#include "app/items/ProtectRequest.h"

#include "app/items/FileJob.h"
#include "app/items/ProtectPort.h"
#include "app/items/item1.h"
#include "core/catalogue/Catalogue.h"
#include "core/catalogue/Datafile.h"
#include "core/files/FileOperation.h"
#include "core/files/SetAside.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/GetSystemVersion.h"
#include "core/system/Logging.h"
#include "core/system/OffThread.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/ItemPlace.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VaultVolume.h"
#include "core/vault/VolumeEjector.h"
#include "platform/Trash.h"
#include "ui/AttachedWindow.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kCantEncryptFolder = QStringLiteral("Can't encrypt the folder");
const QString kEncryptFailed = QStringLiteral("Encrypt failed");
const QString kUnlockFailed = QStringLiteral("Unlock failed");

QString lastComponent(const QString& path)
{
    return QFileInfo(path).fileName();
}

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// "~" and "~/…" as a user types them.
QString expandHome(const QString& path)
{
    if (path == QStringLiteral("~") || path.startsWith(QStringLiteral("~/")))
        return Paths::home() + path.mid(1);
    return path;
}

void setLabel(QLabel* label, const QString& text, const QColor& colour)
{
    if (!label)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setText(text);
}

} // namespace

void ProtectRequest::refuse(QWidget* sheetWindow, const QString& title, const QString& text) const
{
    m_page.m_services.alerts->runAlert(Alert(title, text), sheetWindow);
}

QString ProtectRequest::unsafeText(PathSafety::Verdict verdict, const QString& path)
{
    return QStringLiteral("Zorvane can't encrypt \"%1\" because it is %2. Please select another folder.")
        .arg(path, PathSafety::describe(verdict));
}

std::optional<QString> ProtectRequest::linkImpossible(const QString& place)
{
    const QString folder = QFileInfo(place).path();
    // A link that points nowhere, made and removed at once: the only sure test of a file system.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString probe = QStringLiteral("%1/.zorvane-link-%2")
                                  .arg(folder)
                                  .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        if (::symlink("zorvane-link-test", QFile::encodeName(probe).constData()) == 0) {
            ::unlink(QFile::encodeName(probe).constData());
            return std::nullopt;
        }
        if (errno != EEXIST)
            return QString::fromLocal8Bit(std::strerror(errno));
    }
    return QStringLiteral("no free name for a test link");
}

std::optional<ProtectRequest::Refusal> ProtectRequest::placeRefusal(const QString& item, const QString& place,
                                                                    const QString& vaultName) const
{
    SettingsStore& settings = *m_page.m_services.settings;
    const Records records(settings);
    const QVariantMap protectedItems = records.list(SettingsKeys::RedirectItem);
    PathSafety::Context context = PathSafety::fromSettings(settings);
    QString sameName;
    for (auto it = protectedItems.cbegin(); it != protectedItems.cend(); ++it) {
        if (it.key() == item)
            continue;
        const QString other =
            ItemPlace::resolve(it.key(), it.value().toString(), m_page.m_xmlarray, settings).dataPath;
        if (other.isEmpty())
            continue;
        if (PathSafety::normalise(other) == place)
            return Refusal{
                kCantEncryptFolder,
                QStringLiteral("Zorvane can't encrypt \"%1\" because the protected item \"%2\" keeps "
                               "its data there.")
                    .arg(place, it.key())};
        context.protectedPlaces.append(other);
        if (it.value().toString() == vaultName &&
            lastComponent(QDir::cleanPath(other)) == lastComponent(place))
            sameName = lastComponent(place);
    }
    const PathSafety::Verdict verdict = PathSafety::check(place, context);
    if (verdict == PathSafety::Verdict::SystemFolder)
        return Refusal{
            QStringLiteral("Can't encrypt sysytem folder"),
            QStringLiteral("%1 is a system folder which can not be encrypted. You can create a new folder "
                           "inside it, drag the files or folders you want to protect into it, and then you "
                           "can encrypt the new folder.")
                .arg(lastComponent(place))};
    if (verdict == PathSafety::Verdict::VaultFolder &&
        place == PathSafety::normalise(settings.stringForKey(SettingsKeys::DefaultVaultLocation)))
        return Refusal{kCantEncryptFolder,
                       QStringLiteral("Zorvane can't encrypt the folder you selected, please "
                                      "select another folder.")};
    if (verdict != PathSafety::Verdict::Safe)
        return Refusal{kCantEncryptFolder, unsafeText(verdict, place)};
    if (vaultName.isEmpty())
        return std::nullopt;

    if (const std::optional<QString> why = linkImpossible(place))
        return Refusal{kCantEncryptFolder,
                       QStringLiteral("Zorvane can't put a link in place of \"%1\" (%2), so it can't encrypt "
                                      "it. Please select a folder or file on a disk that can hold links.")
                           .arg(place, *why)};
    // Two items of one vault with one last component would share their folder in it.
    for (FileJob* job : m_page.runningJobs()) {
        if (job->item() == item || job->place() == place)
            return Refusal{kEncryptFailed,
                           QStringLiteral("\"%1\" is being worked on right now. Please wait until that has "
                                          "finished and try again.")
                               .arg(item)};
        if (job->vault() == vaultName && lastComponent(job->place()) == lastComponent(place))
            sameName = lastComponent(place);
    }
    if (!sameName.isEmpty())
        return Refusal{
            kEncryptFailed,
            QStringLiteral("A folder named: \"%1\" already exists in the vault, please click the right "
                           "arrow on the main toolbar, click \"New Vault\" to create a new vault, and "
                           "then you can select the new vault to store this folder.")
                .arg(sameName)};
    return std::nullopt;
}

QString ProtectRequest::ensureMounted(const QString& vaultName, QWidget* sheetWindow, QLabel* label,
                                      const QString& mountingText, const QString& failedText)
{
    const QString image = Records(*m_page.m_services.settings).entry(SettingsKeys::VaultItem, vaultName);
    if (!image.isEmpty() && !ItemPlace::vaultAttached(vaultName, image)) {
        setLabel(label, mountingText, Qt::black);
        if (m_page.m_diskImageController->mountDiskImageAtPath(image) == AttachDiskImageController::kUnlocked)
            m_page.m_usage->jobEnded(image); // its figures are due again
    }
    if (image.isEmpty() || !ItemPlace::vaultAttached(vaultName, image)) {
        refuse(sheetWindow, kUnlockFailed, failedText);
        setLabel(label, QString(), Qt::black);
        return {};
    }
    return QDir::cleanPath(Paths::mountPoint(vaultName));
}

bool ProtectRequest::spaceOf(const QString& mountPoint, quint64* free, quint64* total) const
{
    const std::optional<VaultSpace> space =
        OffThread::wait([&] { return VaultVolume::spaceAtMountPoint(mountPoint); });
    if (!space)
        return false;
    *free = quint64(std::max<qint64>(0, space->free));
    *total = quint64(std::max<qint64>(0, space->capacity));
    return true;
}

quint64 ProtectRequest::capacityOf(const QString& path) const
{
    return OffThread::wait([&] { return FileOperation::GetCapacity(path); });
}

bool ProtectRequest::clearLeftover(const QString& destination, QWidget* sheetWindow, QLabel* capacity)
{
    if (!lexists(destination))
        return true;
    // A protected item's data is never trashed or renamed, empty or not.
    const bool connected = m_page.IsPathConnected(destination);
    if (!connected && capacityOf(destination) == 0) {
        const TrashResult trashed =
            OffThread::wait([&] { return m_page.m_services.trash->moveToTrash(destination); });
        if (!trashed.ok)
            qCInfo(lcItems) << "the empty leftover" << destination << "stays:" << trashed.error;
    }
    if (!lexists(destination))
        return true;
    // Kept beside its place under a number that replaces nothing.
    const QString number = QString::number(10000 + QRandomGenerator::global()->bounded(10000));
    if (!connected && !SetAside::moveAside(destination, destination, number).isEmpty())
        return true;
    refuse(sheetWindow, kEncryptFailed,
           QStringLiteral(
               "A folder named: \"%1\" already exists in the vault, please click the right arrow on the "
               "main toolbar, click \"New Vault\" to create a new vault, and then you can select the new "
               "vault to store this folder.")
               .arg(lastComponent(destination)));
    setLabel(capacity, QString(), Qt::black);
    return false;
}

void ProtectRequest::offerResize(OfferFrom from, QWidget* sheetWindow, QLabel* capacity,
                                 const QString& vaultName, quint64 need, quint64 free, quint64 total)
{
    setLabel(capacity, FileOperation::stringFromFileSize(free) + QStringLiteral(" available"), Qt::red);
    int unit = 0;
    const QString newSize = item1::stringFromFileSize(need + 52428800 - free + total, &unit);
    const QString oldSize = FileOperation::stringFromFileSize(total);
    QString informative;
    switch (from) {
    case OfferFrom::CustomSheet:
        informative =
            QStringLiteral("There is not enough space on the vault,do you want to expand the vault size?");
        break;
    case OfferFrom::DragSheet:
    case OfferFrom::Scan:
        informative =
            QStringLiteral("There is not enough space on the vault, do you want to expand the vault size?");
        break;
    case OfferFrom::JobNew:
    case OfferFrom::JobMove:
        informative =
            QStringLiteral("There is not enough space on the vault, do you want to increase the vault size?");
        break;
    }
    Alert alert(QStringLiteral("Do you want to increase the vault size?"), informative,
                {QStringLiteral("OK"), QStringLiteral("Cancel")});
    alert.accessoryText = QStringLiteral("Empty trash to free up more space");
    alert.accessoryFont = QStringLiteral("Times-Roman");
    alert.style = Alert::Style::Warning;
    if (m_page.m_services.alerts->runAlert(alert, nullptr) != AlertPort::kFirstButton)
        return;

    const QString image = Records(*m_page.m_services.settings).entry(SettingsKeys::VaultItem, vaultName);
    const QString mountPoint = QDir::cleanPath(Paths::mountPoint(vaultName));
    if (VaultVolume::mountOfImage(image)) {
        // A resize needs the vault locked; never forced, and a refusal says who holds it.
        QString why;
        const bool ejected =
            OffThread::wait([&] { return VolumeEjector::unmountAndEjectDeviceAtPath(mountPoint, &why); });
        if (!ejected) {
            const QString holder =
                OffThread::wait([&] { return ProcessInfo().FolderOpenByProcess(mountPoint); });
            refuse(sheetWindow, QStringLiteral("Failed to lock"),
                   holder.isEmpty()
                       ? QStringLiteral("The vault \"%1\" could not be locked for resizing: %2")
                             .arg(vaultName, why)
                       : QStringLiteral(
                             "The vault \"%1\" could not be locked for resizing because %2 is using it. "
                             "Please quit %2 and try again.")
                             .arg(vaultName, holder));
            return;
        }
        m_page.m_usage->jobEnded(image);
    }
    const std::optional<QString> password = m_page.m_diskImageController->RequirePass(image);
    if (!password)
        return;
    ResizeOffer offer;
    offer.oldSize = oldSize;
    offer.newSize = newSize;
    offer.imagePath = image;
    offer.mountPoint = mountPoint;
    offer.password = *password;
    offer.unit = unit;
    offer.callId = from == OfferFrom::JobMove ? 1 : 2;
    offer.tableIndex = 0;
    m_page.m_port->openResize(sheetWindow, offer);
}

void ProtectRequest::submit(Form form)
{
    const bool custom = form == Form::Custom;
    QDialog* sheet = custom ? m_page.m_customfolderwindow : m_page.m_dragfolderwindow;
    QLabel* capacity = custom ? m_page.m_customAvaCapacity : m_page.m_dragAvaCapacity;
    const QString name = (custom ? m_page.m_customFolderName : m_page.m_dragFolderName)->text();
    const QString typed = custom ? m_page.m_customFolderPath->text() : m_page.m_dragfolderpath;
    const QString vaultName =
        (custom ? m_page.m_customRedirectButton : m_page.m_dragRedirectButton)->currentText();
    SettingsStore& settings = *m_page.m_services.settings;

    if (name.isEmpty())
        return refuse(sheet, QStringLiteral("Information required"),
                      QStringLiteral("Name must not be empty!"));
    if (custom && typed.isEmpty())
        return refuse(sheet, QStringLiteral("Information required"),
                      QStringLiteral("Location must not be empty!"));
    // Checked and stored as the file system names it: "~/Documents/" is the Documents folder.
    const QString path = PathSafety::normalise(expandHome(typed));
    if (custom && FileOperation::IsFileASymlnkOrAlias(path))
        return refuse(
            sheet, QStringLiteral("Can't encrypt alias file"),
            QStringLiteral("Zorvane can't encrypt an alias file, please select either a file or folder."));
    m_page.reloadCatalogue();
    if (const std::optional<Refusal> unsafe = placeRefusal(name, path, QString()))
        return refuse(sheet, *unsafe);
    Records records(settings);
    const bool known = records.contains(SettingsKeys::CustomFolderItem, name);
    const bool repeat = known && records.entry(SettingsKeys::CustomFolderItem, name) == path;
    // A protected item is moved with the move sheet, never protected a second time.
    if ((known && !repeat) || Catalogue::findByName(m_page.m_xmlarray, name) ||
        records.contains(SettingsKeys::RedirectItem, name))
        return refuse(
            sheet, QStringLiteral("Please try a different name"),
            QStringLiteral("The name you have chosen already exists in Zorvane database, please enter "
                           "another name."));
    if (GetSystemVersion::compareVersions(GetSystemVersion::GetMacStringVersion(), QStringLiteral("10.7")) >=
            0 &&
        path.contains(QStringLiteral("/library/mail"), Qt::CaseInsensitive) &&
        QFileInfo(path).suffix().toLower() == QStringLiteral("mbox"))
        return refuse(
            sheet, QStringLiteral("Can't password protect single mailbox file"),
            QStringLiteral("Under Lion and the next version of Mac OS X, the new mac mail client can't "
                           "handle a single password-protected mailbox correctly, we suggest you to "
                           "password protect all mailboxes, click \"Scan\" in the main toolbar, select "
                           "\"mail\" from the list, click \"ok\" to continue."));
    if (vaultName.isEmpty())
        return refuse(sheet, kUnlockFailed,
                      QStringLiteral("The vault failed to unlock, please try again later"));
    if (const std::optional<Refusal> clash = placeRefusal(name, path, vaultName))
        return refuse(sheet, *clash);

    const quint64 size = capacityOf(path);
    if (size > 0) {
        const QString mountPoint = ensureMounted(vaultName, sheet, capacity, QStringLiteral("mounting..."));
        if (mountPoint.isEmpty())
            return;
        quint64 free = 0;
        quint64 total = 0;
        if (!spaceOf(mountPoint, &free, &total))
            return refuse(sheet, kUnlockFailed,
                          QStringLiteral("The vault failed to unlock, please try again later"));
        if (size >= free)
            return offerResize(custom ? OfferFrom::CustomSheet : OfferFrom::DragSheet, sheet, capacity,
                               vaultName, size, free, total);
        if (!clearLeftover(mountPoint + QLatin1Char('/') + lastComponent(path), sheet, capacity))
            return;
    }
    const QString revisions = path + QStringLiteral("/.DocumentRevisions-V100");
    if (FileOperation::FileOrFolderIsExists(revisions) &&
        ::chmod(QFile::encodeName(revisions).constData(), 0777) != 0)
        return refuse(
            sheet, kEncryptFailed,
            QStringLiteral("You don't have permission to access the hidden folder: %1. ").arg(revisions) +
                QStringLiteral("\r\n") +
                QStringLiteral(" You need to enable the Finder to show hidden files,") +
                QString(32, QLatin1Char(' ')) +
                QStringLiteral("and then delete the \"DocumentRevisions-V100\" folder."));

    m_page.m_port->endSheet(sheet);
    if (settings.boolForKey(SettingsKeys::WarningText)) {
        m_page.setIsWarningRestore(false);
        m_page.ClickWarningWindow(m_page.m_port->runWarningWindow(
            m_page.window(),
            QStringLiteral("Please quit any application that is using the file or folder you have "
                           "chosen, and don't open unnecessary applications during the encryption "
                           "progress.")));
    }
    if (!repeat && !records.recordCustomFolder(name, path, QFileInfo(path).isDir()))
        return refuse(m_page.window(), kEncryptFailed,
                      QStringLiteral("Zorvane could not save its settings file %1, so nothing was changed.")
                          .arg(Paths::settingsFile(settings.domain())));
    m_page.m_scanitemstotal += 1;
    m_page.m_recordWrittenFor = repeat ? QString() : name;
    const bool started = m_page.performMainJob(false, name, vaultName, size);
    m_page.m_recordWrittenFor.clear();
    if (!started) {
        // A job that never ran leaves no count and no record behind.
        m_page.m_scanitemstotal = std::max(0, m_page.m_scanitemstotal - 1);
        if (!repeat && !records.contains(SettingsKeys::RedirectItem, name)) {
            records.removeEntry(SettingsKeys::CustomFolderItem, name);
            records.removeEntry(SettingsKeys::CustomFolderDescription, name);
        }
    }
}

void ProtectRequest::submitMove()
{
    const QString item = m_page.m_xmlDefaultButton->currentText();
    const QString vaultName = m_page.m_redirectButton->currentText();
    if (const CatalogueEntry* entry = Catalogue::findByName(m_page.m_xmlarray, item);
        entry && !entry->processname.isEmpty()) {
        ProcessInfo processes;
        processes.obtainFreshProcessList();
        for (const QString& name : entry->processname.split(QLatin1Char('|'))) {
            if (!name.isEmpty() && processes.findProcessWithName(name))
                return refuse(m_page.m_additemwindow, QStringLiteral("Quit %1 first.").arg(name),
                              QStringLiteral("Please quit %1 application first.").arg(name));
        }
    }
    m_page.performMainJob(true, item, vaultName, 0);
}

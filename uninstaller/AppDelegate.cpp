#include "uninstaller/AppDelegate.h"

#include "core/catalogue/Catalogue.h"
#include "core/files/FileOperation.h"
#include "core/files/JobRecovery.h"
#include "core/files/JobVerdict.h"
#include "core/files/PathSafety.h"
#include "core/files/VaultLink.h"
#include "core/files/WalkQueue.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/DistributedNotificationCenter.h"
#include "core/system/GetSystemVersion.h"
#include "core/system/HelpAddresses.h"
#include "core/system/Logging.h"
#include "core/system/LoginItemRegistry.h"
#include "core/system/LoginItems.h"
#include "core/system/NotificationNames.h"
#include "core/system/OffThread.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/ItemPlace.h"
#include "core/vault/ItemRepair.h"
#include "core/vault/VolumeEjector.h"
#include "uninstaller/UninstallPort.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kAppFolderName = QStringLiteral("Zorvane.app");
const QString kStatusName = QStringLiteral("ZorvaneStatus");
constexpr int kHelperQuitWaitMs = 3000;

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// What a link says, as written: a relative link must compare equal wherever its tree lies.
QString linkContent(const QString& path)
{
    std::error_code error;
    return QString::fromStdString(
        std::filesystem::read_symlink(QFile::encodeName(path).toStdString(), error).string());
}

// Relative path → what is there: its kind and size, or a link's content.
QHash<QString, QString> shapeOf(const QString& root)
{
    QHash<QString, QString> shape;
    auto describe = [](const QFileInfo& info) {
        if (info.isSymLink())
            return QStringLiteral("l:") + linkContent(info.filePath());
        if (info.isDir())
            return QStringLiteral("d");
        return QStringLiteral("f:%1").arg(info.size());
    };
    const QFileInfo top(root);
    shape.insert(QString(), describe(top));
    if (!top.isDir() || top.isSymLink())
        return shape;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        shape.insert(it.filePath().mid(root.size()), describe(it.fileInfo()));
    }
    return shape;
}

} // namespace

AppDelegate::AppDelegate(const UninstallServices& services, QObject* parent)
    : QObject(parent), m_services(services), m_walks(std::make_unique<WalkQueue>())
{
    m_progressTimer.setInterval(500);
    connect(&m_progressTimer, &QTimer::timeout, this, &AppDelegate::reportProgress);
}

AppDelegate::~AppDelegate()
{
    // A copy still running is cut off like a kill: the journal lets the next start settle it.
    if (m_worker) {
        if (m_current)
            m_current->cancel();
        m_worker->wait();
        delete m_worker;
    }
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_isSelfQuit = false;
    m_running = true;
    SettingsStore& settings = *m_services.settings;
    // Nothing an earlier run wrote may shadow Zorvane's records.
    settings.removeObjectForKey(SettingsKeys::RedirectItem);
    settings.addSuiteNamed(SettingsStore::kZorvaneDomain);

    // Jobs cut off last time (ours or Zorvane's) are finished or undone before any item is read.
    SettingsStore zorvane(SettingsStore::kZorvaneDomain);
    JobRecovery::settleAtStart({&zorvane, m_services.trash});
    settings.synchronize();

    UnlockServices unlock;
    unlock.settings = &settings;
    unlock.keychain = m_services.keychain;
    unlock.shares = m_services.shares;
    unlock.panel = m_services.port->passwordPanel();
    m_attach = std::make_unique<AttachDiskImageController>(unlock);

    // The helper would hold launches and lock vaults under the job's feet.
    if (m_services.distributed)
        m_services.distributed->post(NotificationNames::HelperQuit);
    m_itemCount = remainingItems().size();
    m_services.port->setProgressRunning(true);

    auto start = [this] {
        if (!remainingItems().isEmpty())
            performDecryptionProcess();
        else
            MainThread();
    };
    // Give the helper a moment to end; the job does not depend on it.
    auto* waited = new QElapsedTimer;
    waited->start();
    auto* poll = new QTimer(this);
    poll->setInterval(100);
    connect(poll, &QTimer::timeout, this, [poll, waited, start] {
        if (!ProcessInfo::pidsByName(kStatusName).isEmpty() && waited->elapsed() < kHelperQuitWaitMs)
            return;
        poll->deleteLater();
        delete waited;
        start();
    });
    poll->start();
}

QStringList AppDelegate::remainingItems() const
{
    QStringList items = Records(*m_services.settings).list(SettingsKeys::RedirectItem).keys();
    items.removeIf([this](const QString& item) { return m_skipped.contains(item); });
    return items;
}

QString AppDelegate::runningProgramOf(const QStringList& items) const
{
    const QList<CatalogueEntry> catalogue = Catalogue::loadFromSettings(*m_services.settings);
    ProcessInfo processes;
    processes.obtainFreshProcessList();
    for (const QString& item : items) {
        const CatalogueEntry* entry = Catalogue::findByName(catalogue, item);
        if (!entry)
            continue;
        for (const QString& name : entry->processname.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            if (processes.findProcessWithName(name.trimmed()))
                return name.trimmed();
        }
    }
    return {};
}

void AppDelegate::performDecryptionProcess()
{
    SettingsStore& settings = *m_services.settings;
    settings.synchronize();
    const QStringList items = remainingItems();

    const QString running = runningProgramOf(items);
    if (!running.isEmpty()) {
        Alert alert(QStringLiteral("Quit %1 first.").arg(running),
                    QStringLiteral("Please quit %1 application then run uninstaller again").arg(running));
        m_services.port->showAlert(alert);
        m_failures << QStringLiteral("%1 was running; nothing was changed after that.").arg(running);
        endJob(1);
        return;
    }
    if (items.isEmpty()) {
        MainThread();
        return;
    }

    const QString item = items.first();
    const Records records(settings);
    const QString vault = records.entry(SettingsKeys::RedirectItem, item);
    const QString image = records.entry(SettingsKeys::VaultItem, vault);
    ++m_itemIndex;
    m_services.port->setProgress(0, m_itemIndex, m_itemCount);

    if (image.isEmpty() || !lexists(image)) {
        Alert alert(QStringLiteral("Vault is not available"),
                    QStringLiteral("The vault: \"%1\" is not accessible,if the vault is stored in a netword "
                                   "drive or an external drive, please mount the drive first.")
                        .arg(vault));
        m_services.port->showAlert(alert);
        skipItem(item, QStringLiteral("its vault \"%1\" is not available").arg(vault));
        return;
    }

    m_services.port->setStatusLine(QStringLiteral("Decrypt %1, Please wait..").arg(item));
    if (!ItemPlace::vaultAttached(vault, image) &&
        m_attach->mountDiskImageAtPath(image) != AttachDiskImageController::kUnlocked) {
        // Cancelled or failed: the user stops here, nothing more changes.
        m_failures << QStringLiteral("%1: its vault \"%2\" was not unlocked.").arg(item, vault);
        m_services.port->setStatusLine(m_failures.last());
        endJob(1);
        return;
    }

    const ItemPlace place = ItemPlace::resolve(item, vault, Catalogue::loadFromSettings(settings), settings);
    if (place.dataPath.isEmpty()) {
        skipItem(
            item,
            QStringLiteral("nothing says where the data of this item in vault \"%1\" belongs").arg(vault));
        return;
    }
    const PathSafety::Verdict verdict = PathSafety::check(place.dataPath, PathSafety::fromSettings(settings));
    if (verdict != PathSafety::Verdict::Safe) {
        skipItem(
            item,
            QStringLiteral("its place %1 is refused: %2").arg(place.dataPath, PathSafety::describe(verdict)));
        return;
    }
    if (restoredEarlier(item, place.dataPath, vault, place.linkFlag)) {
        MainThread();
        return;
    }

    trytorepairproblem(place.dataPath, vault, place.linkFlag);
    if (!FileOperation::IsFileASymlnkOrAlias(place.dataPath) || !QFileInfo(place.dataPath).isSymLink()) {
        qCWarning(lcUninstaller) << "Not a sym link to uninstall!" << place.dataPath;
        skipItem(item, QStringLiteral("%1 is not the link into its vault").arg(place.dataPath));
        return;
    }
    if (!VaultLink::leadsToOwnPlace(place.dataPath, vault)) {
        skipItem(item, QStringLiteral("%1 leads to %2, not to its place in vault \"%3\"")
                           .arg(place.dataPath, VaultLink::target(place.dataPath), vault));
        return;
    }

    std::unique_ptr<ItemRestorer> restorer = m_services.restorer ? m_services.restorer() : nullptr;
    if (!restorer) {
        skipItem(item, QStringLiteral("this uninstaller cannot restore items"));
        return;
    }
    const QString refusal = restorer->prepare({item, vault, place.dataPath, place.linkFlag}, settings);
    if (!refusal.isEmpty()) {
        skipItem(item, refusal);
        return;
    }
    // Looking for holders may stop daemons and wait: off the window's thread.
    ItemRestorer* asked = restorer.get();
    const QString holders = OffThread::wait([asked] { return asked->holders(); });
    if (!holders.isEmpty()) {
        skipItem(item, QStringLiteral("its data is in use by %1").arg(holders));
        return;
    }
    QString error;
    if (!restorer->begin(&error)) {
        skipItem(item, error);
        return;
    }

    m_current = std::move(restorer);
    m_currentItem = item;
    m_currentLinkFlag = place.linkFlag;
    m_currentTotal = 0;
    if (!m_restoredVaults.contains(vault))
        m_restoredVaults << vault;
    m_services.port->setProgressRunning(true);
    ItemRestorer* work = m_current.get();
    std::atomic<quint64>* total = &m_currentTotal;
    m_worker = QThread::create([work, total, this] {
        total->store(FileOperation::GetCapacity(work->source()));
        const bool ok = work->run();
        QMetaObject::invokeMethod(
            this, [this, ok] { copyFinished(ok); }, Qt::QueuedConnection);
    });
    m_worker->start();
    m_progressTimer.start();
}

void AppDelegate::reportProgress()
{
    if (!m_current)
        return;
    const quint64 total = m_currentTotal.load();
    const int percent = total == 0 ? 0 : int(qMin<quint64>(100, m_current->bytesDone() * 100 / total));
    m_services.port->setProgress(percent, m_itemIndex, m_itemCount);
}

void AppDelegate::copyFinished(bool ok)
{
    m_progressTimer.stop();
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
        m_worker = nullptr;
    }
    std::unique_ptr<ItemRestorer> work = std::move(m_current);
    const QString item = m_currentItem;
    if (ok) {
        m_services.port->setProgress(100, m_itemIndex, m_itemCount);
        markRestored(item, m_currentLinkFlag);
        JobVerdict::killPoint("recorded");
        work->endJournal();
    } else {
        qCWarning(lcUninstaller) << "Copy failed!" << item << work->failure();
        work->endJournal();
        skipItem(item, work->failure());
        return;
    }
    MainThread();
}

void AppDelegate::markRestored(const QString& item, int linkFlag)
{
    Records records(*m_services.settings);
    if (!records.removeEntry(SettingsKeys::RedirectItem, item))
        qCWarning(lcUninstaller) << "cannot record" << item << "as restored";
    SettingsStore zorvane(SettingsStore::kZorvaneDomain);
    if (!Records(zorvane).removeProtectedItem(item, linkFlag != 0))
        qCWarning(lcUninstaller) << "cannot remove" << item << "from Zorvane's records";
    m_services.settings->synchronize();
}

bool AppDelegate::restoredEarlier(const QString& item, const QString& place, const QString& vault,
                                  int linkFlag)
{
    const QFileInfo info(place);
    if (!info.exists() || info.isSymLink())
        return false;
    const QString target = Paths::itemDataPath(vault, place);
    if (!lexists(target))
        return false;
    const bool same = OffThread::wait([place, target] { return sameNamesAndSizes(place, target); });
    if (!same)
        return false;
    qCInfo(lcUninstaller) << item << "was restored by an earlier run";
    if (!m_restoredVaults.contains(vault))
        m_restoredVaults << vault;
    markRestored(item, linkFlag);
    return true;
}

bool AppDelegate::sameNamesAndSizes(const QString& place, const QString& vaultCopy)
{
    return shapeOf(QDir::cleanPath(place)) == shapeOf(QDir::cleanPath(vaultCopy));
}

void AppDelegate::skipItem(const QString& item, const QString& why)
{
    qCWarning(lcUninstaller).noquote() << item << "stays protected:" << why;
    m_skipped.insert(item);
    m_failures << QStringLiteral("%1: %2").arg(item, why);
    MainThread();
}

bool AppDelegate::trytorepairproblem(const QString& dataPath, const QString& vaultName, int linkFlag)
{
    ItemRepair repair({m_services.settings, m_services.trash, m_attach.get(), m_walks.get()});
    return repair.trytorepairproblem(dataPath, vaultName, linkFlag);
}

void AppDelegate::MainThread()
{
    if (!remainingItems().isEmpty()) {
        // Queued, so a long list never deepens the stack and the window repaints in between.
        QTimer::singleShot(0, this, &AppDelegate::performDecryptionProcess);
        return;
    }
    m_services.port->setProgressRunning(false);
    if (!m_failures.isEmpty()) {
        // Zorvane, its settings and its autostart entries are the way back to what stays
        // protected: none of them goes.
        lockRestoredVaults();
        Alert alert(QStringLiteral("Some items stay protected"),
                    QStringLiteral("These items were not restored and stay in their vaults. Zorvane, "
                                   "its settings and its startup entries were kept. Run the uninstaller "
                                   "again once the reasons below are gone."));
        alert.accessoryText = m_failures.join(QLatin1Char('\n'));
        m_services.port->showAlert(alert);
        askforviewhelp();
        endJob(1);
        return;
    }
    finalSteps();
}

void AppDelegate::finalSteps()
{
    SettingsStore& settings = *m_services.settings;
    m_services.port->setStatusLine(QStringLiteral("Remove startup entry..."));
    DoAddressbookIssue();
    if (!DeleteLoginItems())
        m_failures << QStringLiteral("A startup entry of Zorvane could not be removed from %1.")
                          .arg(Paths::configHome() + QStringLiteral("/autostart"));
    m_services.port->setStatusLine(QStringLiteral("All Done!"));
    lockRestoredVaults();
    JobVerdict::killPoint("final");

    const QString appPath = settings.stringForKey(SettingsKeys::DefaultAppPath);
    if (appPath.isEmpty()) {
        // Nothing says which Zorvane to remove: the job stops at "All Done!" and the window stays.
        m_isSelfQuit = true; // the job is over; closing the window needs no confirmation
        m_running = false;
        const int exitCode = m_failures.isEmpty() ? 0 : 1;
        Q_EMIT finished(exitCode);
        m_services.port->workDone(exitCode);
        return;
    }

    if (!isAppFolder(appPath)) {
        m_failures
            << QStringLiteral("%1 is not Zorvane's application folder; it was left alone.").arg(appPath);
    } else if (::access(QFile::encodeName(QFileInfo(appPath).absolutePath()).constData(), W_OK) != 0) {
        m_failures << QStringLiteral("Zorvane is installed for all users at %1: remove that folder as "
                                     "administrator (with the package manager if it installed it).")
                          .arg(appPath);
    } else {
        trashChecked(appPath, QStringLiteral("Zorvane"));
    }
    trashChecked(Paths::settingsFile(SettingsStore::kZorvaneDomain), QStringLiteral("Zorvane's settings"));
    trashChecked(Paths::settingsFile(SettingsStore::kStatusDomain), QStringLiteral("the helper's settings"));
    trashChecked(Paths::keyFile(), QStringLiteral("the self-protection key"));
    trashChecked(Paths::settingsFile(SettingsStore::kUninstallerDomain),
                 QStringLiteral("the uninstaller's settings"));

    if (m_failures.isEmpty()) {
        m_services.port->showAlert(
            Alert(QStringLiteral("Uninstall successfully"),
                  QStringLiteral(
                      "You have successfully uninstalled Zorvane.\r\n\r\nThe vault file itself still "
                      "exists on your hard disk, after you confirm all your files have been successfully "
                      "decrypted, you can then delete the vault file manually in your Home\\Zorvane "
                      "folder.")));
        endJob(0);
        return;
    }
    Alert alert(QStringLiteral("Uninstall incomplete"),
                QStringLiteral("Every item was restored, but some of Zorvane stayed on your computer:"));
    alert.accessoryText = m_failures.join(QLatin1Char('\n'));
    m_services.port->showAlert(alert);
    endJob(1);
}

bool AppDelegate::trashChecked(const QString& path, const QString& what)
{
    if (!lexists(path))
        return true;
    QString why;
    if (m_services.trash && m_services.trash(path, &why))
        return true;
    m_failures << QStringLiteral("%1 stayed at %2: %3").arg(what, path, why);
    return false;
}

void AppDelegate::lockRestoredVaults()
{
    const Records records(*m_services.settings);
    QStringList stillProtected;
    for (const QString& item : std::as_const(m_skipped))
        stillProtected << records.entry(SettingsKeys::RedirectItem, item);
    for (const QString& vault : std::as_const(m_restoredVaults)) {
        // A vault that still holds a protected item stays as the user will need it.
        if (stillProtected.contains(vault))
            continue;
        const QString image = records.entry(SettingsKeys::VaultItem, vault);
        if (!ItemPlace::vaultAttached(vault, image))
            continue;
        QString error;
        if (VolumeEjector::unmountAndEjectDeviceAtPath(Paths::mountPoint(vault), &error))
            continue;
        const QString holders = ProcessInfo().FolderOpenByProcess(Paths::mountPoint(vault));
        m_failures << QStringLiteral("Vault \"%1\" stays unlocked: it is in use by %2.")
                          .arg(vault, holders.isEmpty() ? error : holders);
    }
}

void AppDelegate::DoAddressbookIssue()
{
    // No mail program here keeps an address book beside the protected data: nothing to put back.
}

bool AppDelegate::DeleteLoginItems()
{
    // Both entries go whatever the switches say: a helper entry left behind would start a
    // trashed program at every login. Only entries Zorvane wrote are touched.
    const QString app = m_services.settings->stringForKey(SettingsKeys::DefaultAppPath);
    if (GetSystemVersion::isOlderThan(QStringLiteral("10.5")) && !app.isEmpty()) {
        LoginItemRegistry::removeLoginItemWithPath(app);
        LoginItemRegistry::removeLoginItemWithPath(app +
                                                   QStringLiteral("/Contents/Resources/ZorvaneStatus.app"));
    }
    LoginItems& items = LoginItems::sharedLoginItems();
    const bool appGone = items.removeOwnItemsWithDisplayName(kAppDisplayName);
    const bool helperGone = items.removeOwnItemsWithDisplayName(kHelperDisplayName);
    return appGone && helperGone;
}

void AppDelegate::askforviewhelp()
{
    Alert alert(QStringLiteral("View online help"),
                QStringLiteral("Uninstall failed, do you want to view online help?"),
                {QStringLiteral("Yes"), QStringLiteral("NO")});
    if (m_services.port->askFailureQuestion(alert, HelpAddresses::uninstall()))
        m_services.port->openHelp(HelpAddresses::uninstall());
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate()
{
    if (m_isSelfQuit || !m_running)
        return TerminateReply::Now;
    Alert alert(
        QStringLiteral("Exit?"),
        QStringLiteral("Uninstall process is in progress,exit now can potentially cause problems,we "
                       "strongly recommend that you wait the uninstall process to finished,are you sure "
                       "you want to exit?"),
        {QStringLiteral("Cancel"), QStringLiteral("Exit")});
    alertDidTermianteAppEnd(m_services.port->confirmExit(alert) ? AlertPort::kSecondButton
                                                                : AlertPort::kFirstButton);
    return TerminateReply::Later;
}

void AppDelegate::alertDidTermianteAppEnd(int returnCode)
{
    if (returnCode != AlertPort::kSecondButton)
        return;
    // The copy running now is cut off; its journal puts everything right at the next start.
    m_isSelfQuit = true;
    m_services.port->quit(1);
}

void AppDelegate::endJob(int exitCode)
{
    m_isSelfQuit = true;
    m_running = false;
    Q_EMIT finished(exitCode);
    m_services.port->quit(exitCode);
}

bool AppDelegate::isAppFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    const QFileInfo folder(clean);
    if (!QDir::isAbsolutePath(clean) || folder.fileName() != kAppFolderName || folder.isSymLink() ||
        !folder.isDir())
        return false;
    const QFileInfo program(clean + QStringLiteral("/Contents/bin/Zorvane"));
    if (!program.isFile() || program.isSymLink())
        return false;
    // "/", the home folder and anything holding it or a vault are never Zorvane, whatever the name.
    PathSafety::Context safety;
    safety.home = Paths::home();
    safety.volumesRoot = Paths::volumesRoot();
    return PathSafety::isSafe(clean, safety);
}

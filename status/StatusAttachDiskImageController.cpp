#include "status/StatusAttachDiskImageController.h"

#include "core/catalogue/Catalogue.h"
#include "core/catalogue/Datafile.h"
#include "core/files/FileOperation.h"
#include "core/files/MakeSymbolicLink.h"
#include "core/processes/FlatpakSandbox.h"
#include "core/processes/ProcessInfo.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/GetSystemVersion.h"
#include "core/system/Logging.h"
#include "core/system/NoticePort.h"
#include "core/vault/VaultVolume.h"
#include "platform/LaunchHold.h"
#include "status/ProtectedProcessNames.h"
#include "status/VaultAutoLock.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <sys/stat.h>

namespace {

const QString kTitle = QStringLiteral("Zorvane");

} // namespace

struct StatusAttachDiskImageController::HeldLaunch
{
    std::unique_ptr<LaunchHold> hold;
    WatchedProcess process;
    QString processName; // the launched name, as the prompt and the notices show it
    QString item;
    QString vault;
    QString image;
    QString lib;
    QString sandboxId;
    bool volumeExisted = false;
    // Arrived while another launch was being asked about: once that prompt is over, an open
    // vault lets it start without asking again.
    bool queuedBehindPrompt = false;
};

StatusAttachDiskImageController::StatusAttachDiskImageController(const UnlockServices& services,
                                                                 QObject* parent)
    : StatusAttachDiskImageController(services, StatusServices{}, parent)
{}

StatusAttachDiskImageController::StatusAttachDiskImageController(const UnlockServices& services,
                                                                 const StatusServices& status,
                                                                 QObject* parent)
    : AttachDiskImageController(services, parent), m_status(status)
{
    if (services.settings)
        m_names = std::make_unique<ProtectedProcessNames>(*services.settings, [this] { refreshSettings(); });
    if (m_status.watcher) {
        connect(m_status.watcher, &ProcessWatcher::applicationLaunched, this,
                &StatusAttachDiskImageController::onLaunched);
        connect(m_status.watcher, &ProcessWatcher::applicationTerminated, this,
                &StatusAttachDiskImageController::onTerminated);
    }
}

StatusAttachDiskImageController::~StatusAttachDiskImageController()
{
    endHeldLaunches();
}

QString StatusAttachDiskImageController::requirePassPromptName(const QString& path) const
{
    return imageFileName(path);
}

void StatusAttachDiskImageController::refreshSettings()
{
    // The helper reads what Zorvane persisted since; its own writes stay in its own domain.
    if (SettingsStore* settings = services().settings) {
        settings->resetStandardUserDefaults();
        settings->addSuiteNamed(SettingsStore::kZorvaneDomain);
    }
}

// ---- Texts ---------------------------------------------------------------------------------------

QString StatusAttachDiskImageController::unlockedText(const QString& item)
{
    return QStringLiteral("Unlocked %1").arg(item);
}

QString StatusAttachDiskImageController::canceledText(const QString& processName)
{
    return QStringLiteral("Canceled launch of %1").arg(processName);
}

QString StatusAttachDiskImageController::deniedText()
{
    return QStringLiteral("Denying access");
}

QString StatusAttachDiskImageController::notOpenedTitle(const QString& vault)
{
    return QStringLiteral("Can't open vault: %1").arg(vault);
}

QString StatusAttachDiskImageController::notOpenedText(const QString& processName, const QString& vault)
{
    return QStringLiteral(
               "\r\n%1 was not started: its data is stored in the vault \"%2\", which is missing or "
               "could not be opened.")
        .arg(processName, vault);
}

QString StatusAttachDiskImageController::promptExplanation(int app, const QString& processname,
                                                           const QString& vaultName)
{
    switch (app) {
    case kApplication:
        return QStringLiteral(
                   "%1 data file is stored in vault: '%2'. Opening the vault requires you to enter the "
                   "password.")
            .arg(processname, vaultName);
    case kCustomFolder:
        return QStringLiteral(
                   "'%1' is stored in vault: '%2'. Opening the vault requires you to enter the password.")
            .arg(processname, vaultName);
    default:
        return QStringLiteral("You want to open the vault: '%1'. Opening the vault requires you to enter the "
                              "password.")
            .arg(vaultName);
    }
}

bool StatusAttachDiskImageController::notificationsEnabled()
{
    refreshSettings();
    return services().settings && services().settings->boolForKey(SettingsKeys::EnableNotifications);
}

void StatusAttachDiskImageController::notify(const QString& title, const QString& text, bool sticky)
{
    if (m_status.notices)
        m_status.notices->notify(title, text, sticky);
}

// ---- The prompt --------------------------------------------------------------------------------

int StatusAttachDiskImageController::mountDiskImageAtPath(const QString& path, int app,
                                                          const QString& processname,
                                                          const QStringList& options, const QString& password,
                                                          QString* error)
{
    Q_UNUSED(password);
    PasswordPanel* panel = services().panel;
    if (m_isCurrentlyWindowActive || (panel && panel->isRunning())) {
        m_lastPromptOutcome = PromptOutcome::Refused;
        return kNotUnlocked;
    }
    refreshSettings();
    bool encrypted = false;
    if (!mountNetworkShare(path) || !getDiskImageEncryptionStatus(&encrypted, path, error)) {
        qCInfo(lcStatus) << "cannot ask for the password of" << path;
        m_lastPromptOutcome = PromptOutcome::Failed;
        return kNotUnlocked;
    }
    if (!encrypted) {
        m_lastPromptOutcome = PromptOutcome::Unlocked;
        return kUnlocked;
    }
    if (!panel) {
        m_lastPromptOutcome = PromptOutcome::Failed;
        return kNotUnlocked;
    }

    const QString vaultName = Paths::vaultNameFromImagePath(path);
    setMountTarget(path, options, error);
    m_isCurrentlyWindowActive = true;
    const bool entered =
        askForPassword(unlockPrompt(vaultName), true, promptExplanation(app, processname, vaultName));
    m_isCurrentlyWindowActive = false;
    setMountTarget(QString(), {}, nullptr);
    // Launches that arrived meanwhile wait for their turn.
    if (!m_held.empty())
        schedulePending();

    if (entered) {
        m_lastPromptOutcome = PromptOutcome::Unlocked;
        return kUnlocked;
    }
    m_lastPromptOutcome = PromptOutcome::Cancelled;
    if (!m_quitting && notificationsEnabled()) {
        if (app == kApplication)
            notify(kTitle, canceledText(processname), false);
        else if (app == kCustomFolder)
            notify(kTitle, deniedText(), false);
    }
    return kNotUnlocked;
}

// ---- Start ---------------------------------------------------------------------------------------

void StatusAttachDiskImageController::finishlauch()
{
    m_osVersion = GetSystemVersion::GetMacStringVersion();
    recoverHeldLaunches();
    if (GetSystemVersion::compareVersions(m_osVersion, QStringLiteral("10.6")) >= 0)
        getNonUIProcess();

    m_isFindPhotoSoftware = false;
    refreshSettings();
    if (SettingsStore* settings = services().settings) {
        const QVariantMap items = Records(*settings).list(SettingsKeys::RedirectItem);
        m_isFindPhotoSoftware =
            !settings->boolForKey(SettingsKeys::NoDealIPhoto) &&
            (items.contains(QStringLiteral("iPhoto")) || items.contains(QStringLiteral("Aperture")) ||
             items.contains(QStringLiteral("Photos")));
    }

    if (!m_status.watcher)
        return;
    m_status.watcher->start();
    // What already runs is no launch, but its quit still locks its vault.
    for (const WatchedProcess& running : m_status.watcher->runningApplications()) {
        const QString name = running.name();
        if (isNonUIName(name)) {
            m_nouiProcess[name.toLower()] = true;
            ++m_nouiRunning[name.toLower()];
            watch(running, true);
        } else if (m_names && m_names->isProtected(name)) {
            watch(running, false);
        }
    }
}

void StatusAttachDiskImageController::getNonUIProcess()
{
    refreshSettings();
    m_nouiProcess.clear();
    for (const CatalogueEntry& entry : loadCatalogue()) {
        if (entry.uiFlag() != 0)
            continue;
        for (const QString& name : entry.processNames())
            m_nouiProcess.insert(name.toLower(), false);
    }
}

bool StatusAttachDiskImageController::isNonUIName(const QString& name) const
{
    return !name.isEmpty() && m_nouiProcess.contains(name.toLower());
}

// ---- Launches ------------------------------------------------------------------------------------

QList<CatalogueEntry> StatusAttachDiskImageController::loadCatalogue()
{
    SettingsStore* settings = services().settings;
    return settings ? Catalogue::loadFromSettings(*settings) : QList<CatalogueEntry>();
}

QString StatusAttachDiskImageController::libraryPath(const CatalogueEntry& entry)
{
    SettingsStore* settings = services().settings;
    return settings ? Datafile::DealLibPath(entry.libpath, *settings) : Datafile::DealLibPath(entry.libpath);
}

bool StatusAttachDiskImageController::canUse(const WatchedProcess& process, const QString& lib) const
{
    return FlatpakSandbox::canUseData(ProcTable(m_status.procRoot), process.pid, lib, Paths::home());
}

bool StatusAttachDiskImageController::IsFileASymlnkOrAlias(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool StatusAttachDiskImageController::isMounted(const QString& imagePath) const
{
    return !imagePath.isEmpty() && VaultVolume::mountOfImage(imagePath).has_value();
}

void StatusAttachDiskImageController::onLaunched(const WatchedProcess& process)
{
    if (m_quitting)
        return;
    // What a held launch started before it was stopped is held with it.
    for (const auto& held : m_held) {
        if (held->hold->contains(process.pid))
            return;
        if (held->hold->contains(process.parentPid)) {
            if (held->hold->join(process.pid, process.startTime))
                writeHeldRecord();
            return;
        }
    }
    const QString name = process.name();
    if (isNonUIName(name))
        observeNonUIProcess(process, true);
    else if (m_names && m_names->isProtected(name))
        applicationLaunch(process);
}

void StatusAttachDiskImageController::applicationLaunch(const WatchedProcess& process)
{
    const QString path = process.applicationPath;
    const QString name = path.isEmpty() ? QString() : ProcTable::applicationName(path);
    if (!DoMainJob(name, path, process))
        watch(process, false);
}

bool StatusAttachDiskImageController::DoMainJob(const QString& processName, const QString& processPath,
                                                const WatchedProcess& process)
{
    SettingsStore* settings = services().settings;
    if (processName.isEmpty() || !settings || FlatpakSandbox::isWrapper(processName))
        return false;
    refreshSettings();
    const QList<CatalogueEntry> entries = loadCatalogue();
    Records records(*settings);
    const QVariantMap items = records.list(SettingsKeys::RedirectItem);
    if (items.isEmpty())
        return false;

    std::optional<LockedItem> found;
    for (auto item = items.constBegin(); item != items.constEnd() && !found; ++item) {
        for (const CatalogueEntry& entry : entries) {
            if (entry.name != item.key())
                continue;
            const QString lib = libraryPath(entry);
            // Locked: the data place leads nowhere, or a place that should be a link is not one.
            const bool locked =
                !QFileInfo::exists(lib) || (entry.symlinkFlag() == 0 && !IsFileASymlnkOrAlias(lib));
            if (locked && entry.matchesProcessName(processName) && canUse(process, lib)) {
                found = LockedItem{item.key(), lib};
                break;
            }
        }
    }
    if (!found)
        return false;

    const QString vault = items.value(found->item).toString();
    const QString image = records.entry(SettingsKeys::VaultItem, vault);
    if (found->item == QLatin1String("iPhoto") &&
        QFileInfo::exists(Paths::mountPoint(vault) + QStringLiteral("/iPhoto Library.migratedphotolibrary")))
        return false;

    auto hold = LaunchHold::hold(process.pid, process.startTime, m_status.procRoot);
    if (!hold) {
        qCInfo(lcStatus) << "the launch of" << processName << process.pid << "ended before it could be held";
        return true;
    }
    qCInfo(lcStatus) << "holding" << processName << process.pid << "until" << vault << "is unlocked";
    auto launch = std::make_unique<HeldLaunch>();
    launch->hold = std::move(hold);
    launch->process = process;
    launch->processName = processName;
    launch->item = found->item;
    launch->vault = vault;
    launch->image = image;
    launch->lib = found->lib;
    launch->sandboxId = FlatpakSandbox::applicationId(ProcTable(m_status.procRoot), process.pid);
    launch->volumeExisted = isMounted(image);
    launch->queuedBehindPrompt = m_isCurrentlyWindowActive || !m_held.empty();
    Q_UNUSED(processPath);
    Q_EMIT launchHeld(process.pid, found->item);

    if (image.isEmpty() || !QFileInfo::exists(image)) {
        // Nothing could ever unlock it: end the launch rather than leave it stopped.
        settle(*launch, kNotUnlocked, true);
        return true;
    }
    m_held.push_back(std::move(launch));
    writeHeldRecord();
    schedulePending();
    return true;
}

void StatusAttachDiskImageController::schedulePending()
{
    if (m_pendingScheduled)
        return;
    m_pendingScheduled = true;
    // Never from inside the watcher's report: the prompt's modal run must let it go on.
    QTimer::singleShot(0, this, [this] {
        m_pendingScheduled = false;
        processPending();
    });
}

void StatusAttachDiskImageController::processPending()
{
    if (m_processing || m_isCurrentlyWindowActive || m_quitting)
        return;
    m_processing = true;
    while (!m_held.empty() && !m_quitting) {
        HeldLaunch* launch = m_held.front().get();
        int result = kNotUnlocked;
        bool failed = false;
        if (!launch->hold->isRootAlive()) {
            result = -1; // ended by someone else meanwhile
        } else if (launch->queuedBehindPrompt && isMounted(launch->image)) {
            result = kUnlocked;
        } else {
            result = mountDiskImageAtPath(launch->image, kApplication, launch->processName, {}, {}, nullptr);
            // Everything held may have been ended meanwhile (a quit).
            if (m_quitting || m_held.empty() || m_held.front().get() != launch)
                break;
            if (m_lastPromptOutcome == PromptOutcome::Refused) {
                // Another prompt is open: this one asks when that is over.
                launch->queuedBehindPrompt = true;
                break;
            }
            failed = m_lastPromptOutcome == PromptOutcome::Failed;
        }
        std::unique_ptr<HeldLaunch> done = std::move(m_held.front());
        m_held.erase(m_held.begin());
        writeHeldRecord();
        settle(*done, result, failed);
        for (const auto& other : m_held)
            other->queuedBehindPrompt = true;
    }
    m_processing = false;
}

void StatusAttachDiskImageController::settle(HeldLaunch& launch, int result, bool failed)
{
    const qint64 pid = launch.process.pid;
    if (result != kUnlocked && (result < 0 || !launch.volumeExisted)) {
        endHeld(launch);
        // Nobody was asked, so the user must learn why the application did not start.
        if (failed)
            notify(notOpenedTitle(launch.vault), notOpenedText(launch.processName, launch.vault), true);
        Q_EMIT launchSettled(pid, launch.item, 0);
        return;
    }
    if (!FileOperation::FileOrFolderIsExists(launch.lib)) {
        const QString inVault = Paths::itemDataPath(launch.vault, launch.lib);
        if (FileOperation::FileOrFolderIsExists(inVault) && !MakeSymbolicLink(launch.lib, inVault))
            qCWarning(lcStatus) << "cannot link" << launch.lib << "to" << inVault;
    }
    const qint64 relaunched = relaunch(launch);
    if (relaunched == 0)
        notify(kTitle, QStringLiteral("%1 could not be started again.").arg(launch.processName), true);
    else if (notificationsEnabled())
        notify(kTitle, unlockedText(launch.item), false);
    Q_EMIT launchSettled(pid, launch.item, relaunched);
}

qint64 StatusAttachDiskImageController::relaunch(HeldLaunch& launch)
{
    // Started afresh, never continued: the stopped process may already have seen the locked
    // data place and would write a new profile over the real one.
    const LaunchCommand command =
        launch.sandboxId.isEmpty()
            ? launch.hold->command()
            : LaunchCommand::fromHere(QStringLiteral("flatpak"),
                                      FlatpakSandbox::relaunchArguments(launch.sandboxId));
    launch.hold->end();
    if (command.program.isEmpty())
        return 0;
    QString error;
    const qint64 pid = DetachedProgram::start(command, &error);
    if (pid == 0)
        qCWarning(lcStatus) << "cannot start" << launch.processName << "again:" << error;
    else
        qCInfo(lcStatus) << "started" << launch.processName << "again as" << pid;
    return pid;
}

void StatusAttachDiskImageController::endHeld(HeldLaunch& launch)
{
    qCInfo(lcStatus) << "ending the held launch of" << launch.processName << launch.process.pid;
    launch.hold->end();
}

void StatusAttachDiskImageController::endHeldLaunches()
{
    std::vector<std::unique_ptr<HeldLaunch>> held;
    held.swap(m_held);
    for (const auto& launch : held) {
        endHeld(*launch);
        Q_EMIT launchSettled(launch->process.pid, launch->item, 0);
    }
    if (!held.empty())
        writeHeldRecord();
}

void StatusAttachDiskImageController::writeHeldRecord()
{
    QList<HeldLaunchRecord::Launch> launches;
    for (const auto& held : m_held)
        launches.append({held->item, held->vault, held->processName, held->sandboxId, held->hold->members()});
    HeldLaunchRecord(m_status.heldRecordPath).write(launches);
}

void StatusAttachDiskImageController::recoverHeldLaunches()
{
    const HeldLaunchRecord record(m_status.heldRecordPath);
    const QList<HeldLaunchRecord::Launch> recorded = record.read();
    if (recorded.isEmpty())
        return;
    refreshSettings();
    SettingsStore* settings = services().settings;
    const QList<CatalogueEntry> entries = loadCatalogue();
    for (const HeldLaunchRecord::Launch& previous : recorded) {
        HeldLaunch launch;
        launch.hold = LaunchHold::adopt(previous.members, m_status.procRoot);
        if (!launch.hold)
            continue;
        launch.process.pid = previous.members.first().pid;
        launch.processName = previous.processName;
        launch.item = previous.item;
        launch.vault = previous.vault;
        launch.sandboxId = previous.sandboxId;
        launch.image =
            settings ? Records(*settings).entry(SettingsKeys::VaultItem, previous.vault) : QString();
        if (const CatalogueEntry* entry = Catalogue::findByName(entries, previous.item))
            launch.lib = libraryPath(*entry);
        // Started again when its vault has been opened meanwhile, else ended.
        const bool open = isMounted(launch.image) && !launch.lib.isEmpty() &&
                          (launch.hold->rootPid() == launch.process.pid || !launch.sandboxId.isEmpty());
        qCInfo(lcStatus) << "a previous run held" << launch.processName << launch.process.pid
                         << (open ? "; starting it again" : "; ending it");
        launch.volumeExisted = open;
        settle(launch, open ? kUnlocked : -1, false);
    }
    record.write({});
}

// ---- Watching quits --------------------------------------------------------------------------

QStringList StatusAttachDiskImageController::usableItems(const WatchedProcess& process)
{
    QStringList result;
    SettingsStore* settings = services().settings;
    if (!settings)
        return result;
    refreshSettings();
    const QList<CatalogueEntry> entries = loadCatalogue();
    const QVariantMap items = Records(*settings).list(SettingsKeys::RedirectItem);
    const QString name = process.name();
    for (const CatalogueEntry& entry : entries) {
        if (items.contains(entry.name) && !result.contains(entry.name) && entry.matchesProcessName(name) &&
            canUse(process, libraryPath(entry)))
            result.append(entry.name);
    }
    return result;
}

void StatusAttachDiskImageController::watch(const WatchedProcess& process, bool withoutInterface)
{
    if (!m_status.watcher)
        return;
    // Which items it can use is known only while it runs (a sandbox's view goes with it).
    m_watched.insert(process.pid, {process, process.name(), withoutInterface,
                                   withoutInterface ? QStringList() : usableItems(process)});
    m_status.watcher->watchTermination(process);
}

void StatusAttachDiskImageController::observeNonUIProcess(const WatchedProcess& process, bool running)
{
    const QString name = process.name().toLower();
    if (running) {
        if (!m_nouiProcess.value(name) && DoMainJob(process.name(), process.applicationPath, process))
            return; // held; its fresh start is seen as a launch of its own
        m_nouiProcess[name] = true;
        ++m_nouiRunning[name];
        watch(process, true);
        return;
    }
    if (--m_nouiRunning[name] > 0)
        return;
    m_nouiRunning.remove(name);
    if (m_nouiProcess.value(name)) {
        m_nouiProcess[name] = false;
        DoQuitJob(process.name());
    }
}

void StatusAttachDiskImageController::onTerminated(const WatchedProcess& launch)
{
    const auto watched = m_watched.constFind(launch.pid);
    if (watched == m_watched.constEnd() || watched->launch.startTime != launch.startTime)
        return;
    const Watched ended = *watched;
    m_watched.erase(watched);
    if (m_quitting)
        return;
    if (ended.withoutInterface)
        observeNonUIProcess(launch, false);
    else
        applicationquit(launch, ended.usableItems);
}

void StatusAttachDiskImageController::applicationquit(const WatchedProcess& launch,
                                                      const std::optional<QStringList>& usableItems)
{
    refreshSettings();
    if (SettingsStore* settings = services().settings) {
        // An absent switch counts as on.
        const QVariant autoLock = settings->objectForKey(SettingsKeys::AutoLock);
        if (autoLock.isValid() && !SettingsStore::toBool(autoLock))
            return;
    }
    DoQuitJob(launch.name(), usableItems);
}

void StatusAttachDiskImageController::DoQuitJob(const QString& name,
                                                const std::optional<QStringList>& usableItems)
{
    SettingsStore* settings = services().settings;
    if (name.isEmpty() || !settings)
        return;
    refreshSettings();
    const QList<CatalogueEntry> entries = loadCatalogue();
    Records records(*settings);
    const QVariantMap items = records.list(SettingsKeys::RedirectItem);
    QString item;
    for (auto it = items.constBegin(); it != items.constEnd() && item.isEmpty(); ++it) {
        if (usableItems && !usableItems->contains(it.key()))
            continue;
        for (const CatalogueEntry& entry : entries) {
            if (entry.name != it.key())
                continue;
            const QString lib = libraryPath(entry);
            // Its vault is open: the place is (or needs not be) a link, and it leads somewhere.
            const bool open =
                (IsFileASymlnkOrAlias(lib) || entry.symlinkFlag() == 0) && QFileInfo::exists(lib);
            if (open && entry.matchesProcessName(name)) {
                item = it.key();
                break;
            }
        }
    }
    if (item.isEmpty())
        return;

    const QString vault = items.value(item).toString();
    const QString image = records.entry(SettingsKeys::VaultItem, vault);
    if (isLocking(vault))
        return;
    // Another protected application still works in it: nothing is stopped, nothing ejected.
    const QString user = IsAnyTaskStillUseVault(vault);
    if (!user.isNull()) {
        qCInfo(lcStatus) << "leaving" << vault << "open for" << user;
        return;
    }
    const auto mount = image.isEmpty() ? std::nullopt : VaultVolume::mountOfImage(image);
    if (!mount)
        return;

    AutoLockRequest request{item,
                            vault,
                            image,
                            mount->mountPoint,
                            name.toLower(),
                            m_osVersion.isEmpty() ? GetSystemVersion::GetMacStringVersion() : m_osVersion,
                            m_isFindPhotoSoftware};
    if (VaultAutoLock* job = lockVault(request)) {
        connect(job, &VaultAutoLock::finished, this,
                [this, vault](bool locked) { Q_EMIT autoLockFinished(vault, locked); });
    }
}

bool StatusAttachDiskImageController::isLocking(const QString& vault) const
{
    return !m_autoLocks.value(vault).isNull();
}

VaultAutoLock* StatusAttachDiskImageController::lockVault(const AutoLockRequest& request)
{
    const QString vault = request.vault;
    if (isLocking(vault))
        return nullptr;
    VaultAutoLock::Services lockServices{services().settings, [this] { refreshSettings(); }, m_status.notices,
                                         [this, vault] {
                                             return IsAnyTaskStillUseVault(vault);
                                         }};
    auto* job = new VaultAutoLock(request, lockServices, this);
    m_autoLocks.insert(vault, job);
    connect(job, &VaultAutoLock::finished, this, [this, job, vault] {
        m_autoLocks.remove(vault);
        job->deleteLater();
    });
    // Started from the event loop, so the caller connects to finished first.
    QTimer::singleShot(0, job, &VaultAutoLock::start);
    return job;
}

QString StatusAttachDiskImageController::IsAnyTaskStillUseVault(const QString& vaultName)
{
    SettingsStore* settings = services().settings;
    if (!settings)
        return {};
    ProcessInfo processes;
    processes.obtainFreshProcessList();
    refreshSettings();
    const QList<CatalogueEntry> entries = loadCatalogue();
    const QVariantMap items = Records(*settings).list(SettingsKeys::RedirectItem);
    for (auto item = items.constBegin(); item != items.constEnd(); ++item) {
        if (item.value().toString() != vaultName)
            continue;
        for (const CatalogueEntry& entry : entries) {
            if (entry.name != item.key())
                continue;
            if (!entry.processname.contains(QLatin1Char('|'))) {
                if (processes.findProcessWithName(entry.processname))
                    return entry.processname;
                continue;
            }
            for (const QString& name : entry.processNames()) {
                if (processes.findProcessWithName(name) && name != QLatin1String("EvernoteHelper"))
                    return name;
            }
        }
    }
    return {};
}

QString StatusAttachDiskImageController::processNameUsingVault(const QString& mountPoint)
{
    return mountPoint.isNull() ? QString() : ProcessInfo().FolderOpenByProcess(mountPoint);
}

// ---- Quitting ------------------------------------------------------------------------------------

void StatusAttachDiskImageController::needQuit()
{
    qCInfo(lcStatus) << "quitting on Zorvane's request";
    m_quitting = true;
    endHeldLaunches();
    if (m_isCurrentlyWindowActive)
        clickcancel();
    Q_EMIT helperShouldQuit();
}

#include "core/vault/VaultMove.h"

#include "core/files/JobJournal.h"
#include "core/files/TreeCopier.h"
#include "core/files/TreeVerifier.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/system/OffThread.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/VaultVolume.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString kStagingSuffix = QStringLiteral(".zorvane-move");
const QString kIncorrect = QStringLiteral("The new location is incorrect");
const QString kFailed = QStringLiteral("Failed to move the vault");

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

std::optional<dev_t> deviceOf(const QString& path)
{
    struct stat st;
    if (::stat(encoded(path).constData(), &st) != 0)
        return std::nullopt;
    return st.st_dev;
}

bool isWithin(const QString& path, const QString& folder)
{
    return !path.isEmpty() && !folder.isEmpty() &&
           (path == folder ||
            path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')));
}

// A rename becomes durable only once its folder is written back.
void syncFolder(const QString& folder)
{
    const int fd = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Room a copy of the tree takes: whole blocks per file, and an entry (an inode) each.
struct Room
{
    quint64 bytes = 0;
    quint64 entries = 0;
};

Room roomNeeded(const QString& image)
{
    constexpr quint64 block = 4096;
    Room room{block, 1};
    QDirIterator it(image, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        room.bytes += block;
        ++room.entries;
        if (info.isFile() && !info.isSymLink())
            room.bytes += (quint64(info.size()) + block - 1) / block * block;
    }
    return room;
}

bool isWholeImage(const QString& path)
{
    return DiskImageMetadata::isImage(path) && DiskImageMetadata::read(path).has_value();
}

bool isCleanAbsolute(const QString& path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) == path;
}

} // namespace

// ---- Checks and records --------------------------------------------------------------------------

QString VaultMove::targetPath(const Request& request)
{
    const QString name = QFileInfo(QDir::cleanPath(request.imagePath)).fileName();
    return QDir::cleanPath(request.destinationFolder + QLatin1Char('/') + name);
}

QString VaultMove::stagingFolder(const QString& newPath)
{
    const QFileInfo target(newPath);
    return QDir::cleanPath(target.path() + QStringLiteral("/.") + target.fileName() + kStagingSuffix);
}

std::optional<VaultMove::Refusal> VaultMove::check(const Request& request)
{
    const QString folder = request.destinationFolder;
    if (folder.isEmpty())
        return Refusal{kIncorrect, QStringLiteral("The new location field cannot be empty!")};
    if (!QDir::isAbsolutePath(folder))
        return Refusal{
            kIncorrect,
            QStringLiteral("\"%1\" is not a full folder path. Please choose the new location again.")
                .arg(folder)};
    if (!QFileInfo(folder).isDir())
        return Refusal{kIncorrect,
                       QStringLiteral("The folder \"%1\" does not exist. Please choose an existing folder.")
                           .arg(folder)};
    const QString image = QDir::cleanPath(request.imagePath);
    if (!FileOperation::FileOrFolderIsExists(image))
        return Refusal{
            kFailed,
            QStringLiteral("The vault image \"%1\" was not found, so it can't be moved.").arg(image)};
    const QString target = targetPath(request);
    if (FileOperation::FileOrFolderIsExists(target))
        return Refusal{QStringLiteral("File already exists"),
                       QStringLiteral("\"%1\" already exists in the destination folder you specified.")
                           .arg(QFileInfo(target).fileName())};
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (isWithin(canonicalFolder, QFileInfo(image).canonicalFilePath()))
        return Refusal{
            kIncorrect,
            QStringLiteral("A vault can't be moved into itself. Please choose a folder outside \"%1\".")
                .arg(image)};
    // A vault inside another vault would vanish whenever that one is locked.
    const QString volumes = QFileInfo(Paths::volumesRoot()).canonicalFilePath();
    const QList<MountedVault> mounted = VaultVolume::mountedVaults();
    if (isWithin(canonicalFolder, volumes) ||
        std::any_of(mounted.cbegin(), mounted.cend(),
                    [&](const MountedVault& vault) { return isWithin(canonicalFolder, vault.mountPoint); }))
        return Refusal{
            kIncorrect,
            QStringLiteral("\"%1\" lies inside a vault. Please choose a folder outside your vaults.")
                .arg(folder)};
    const QString staging = stagingFolder(target);
    if (FileOperation::FileOrFolderIsExists(staging))
        return Refusal{kFailed, QStringLiteral("\"%1\" is left from an earlier move to this folder. Please "
                                               "remove it and try again.")
                                    .arg(staging)};
    if (request.alwaysCopy || deviceOf(image) != deviceOf(folder)) {
        const Room needed = roomNeeded(image);
        const std::optional<qint64> free = VaultVolume::diskFree(folder);
        if (free && quint64(*free) < needed.bytes)
            return Refusal{
                kIncorrect,
                QStringLiteral("The vault needs %1, but only %2 is free in \"%3\". Please choose a "
                               "folder on a disk with more room.")
                    .arg(FileOperation::stringFromFileSize(needed.bytes),
                         FileOperation::stringFromFileSize(quint64(*free)), folder)};
        struct statvfs fs;
        if (::statvfs(encoded(folder).constData(), &fs) == 0 && fs.f_files > 0 &&
            fs.f_favail < needed.entries)
            return Refusal{kIncorrect,
                           QStringLiteral("The vault holds %1 files, but the disk that holds \"%2\" can take "
                                          "only %3 more. Please choose a folder on another disk.")
                               .arg(needed.entries)
                               .arg(folder)
                               .arg(quint64(fs.f_favail))};
    }
    return std::nullopt;
}

bool VaultMove::switchRecords(SettingsStore& settings, const QString& name, const QString& from,
                              const QString& to, QString* error)
{
    Records records(settings);
    bool ok = records.setEntry(SettingsKeys::VaultItem, name, to);
    ok = ok && records.replaceStartupItem(from, to);
    if (ok && records.contains(SettingsKeys::NetworkVaultItem, from))
        ok = records.removeEntry(SettingsKeys::NetworkVaultItem, from);
    if (!ok && error)
        *error = QStringLiteral("the settings file %1 could not be written")
                     .arg(Paths::settingsFile(settings.domain()));
    return ok;
}

// ---- The move ------------------------------------------------------------------------------------

VaultMove::VaultMove(const VaultMoveServices& services, const Request& request, VaultMoveObserver* observer,
                     QObject* parent)
    : QObject(parent), m_services(services), m_request(request), m_observer(observer),
      m_oldPath(QDir::cleanPath(request.imagePath)), m_newPath(targetPath(request)),
      m_staging(stagingFolder(m_newPath))
{}

VaultMove::~VaultMove()
{
    if (!m_running)
        return;
    // Going away mid-move (the program quits): leave nothing half done, tell nobody.
    stopWork();
    if (m_phase != Phase::Idle)
        TreeCopier::removeTree(m_staging);
    if (m_journal)
        m_journal->finish();
    if (m_flagged)
        GlobalVariable::sharedInstance().endFileOperation();
}

void VaultMove::start()
{
    if (m_running || m_phase == Phase::Done)
        return;
    m_running = true;
    m_flagged = true;
    GlobalVariable::sharedInstance().beginFileOperation();

    if (VaultVolume::mountOfImage(m_oldPath)) {
        end(VaultMoveOutcome::Result::Failed,
            QStringLiteral("The vault \"%1\" is unlocked. Lock it and try again.").arg(m_request.vaultName));
        return;
    }
    const bool rename = !m_request.alwaysCopy && deviceOf(m_oldPath) == deviceOf(QFileInfo(m_newPath).path());
    QString why;
    const QVariantMap fields{{kName, m_request.vaultName}, {kOldPath, m_oldPath}, {kNewPath, m_newPath}};
    // Written to the disk before anything else changes; waited for with the window still drawn.
    m_journal = OffThread::wait(
        [&] { return JobJournal::begin(kKind, rename ? kStageCopied : kStageCopying, fields, &why); });
    if (!m_journal) {
        end(VaultMoveOutcome::Result::Failed,
            QStringLiteral("The move could not be recorded, so nothing was changed: %1").arg(why));
        return;
    }
    if (rename && renameInPlace())
        return;
    if (!OffThread::wait([&] { return m_journal->advance(kStageCopying, {}, &why); })) {
        m_journal->finish();
        end(VaultMoveOutcome::Result::Failed,
            QStringLiteral("The move could not be recorded, so nothing was changed: %1").arg(why));
        return;
    }
    startCopy();
}

bool VaultMove::renameInPlace()
{
    // From here on the move runs to its end; a cancel is no longer taken.
    m_switching = true;
    int error = 0;
    OffThread::wait([&] {
        if (::renameat2(AT_FDCWD, encoded(m_oldPath).constData(), AT_FDCWD, encoded(m_newPath).constData(),
                        RENAME_NOREPLACE) != 0) {
            error = errno;
            return;
        }
        syncFolder(QFileInfo(m_newPath).path());
        syncFolder(QFileInfo(m_oldPath).path());
    });
    if (error == EXDEV) {
        m_switching = false;
        return false; // another file system after all (a bind mount): copy
    }
    if (error != 0) {
        m_journal->finish();
        end(VaultMoveOutcome::Result::Failed,
            QStringLiteral("The vault could not be moved to \"%1\": %2")
                .arg(m_newPath, QString::fromLocal8Bit(std::strerror(error))));
        return true;
    }
    m_observer->moveStepChanged(VaultMoveStep::Placed, m_newPath);
    finishSwitch();
    return true;
}

void VaultMove::startCopy()
{
    if (::mkdir(encoded(m_staging).constData(), 0700) != 0) {
        const QString reason = errnoText();
        m_journal->finish();
        end(VaultMoveOutcome::Result::Failed,
            QStringLiteral("The folder \"%1\" could not be created: %2").arg(m_staging, reason));
        return;
    }
    m_phase = Phase::Copying;
    m_strover = SharedString::create();
    m_percent = SharedString::create();
    m_size = SharedString::create();
    m_foper = std::make_unique<FileOperation>(&m_progress, m_oldPath, m_staging, QString(), m_percent, m_size,
                                              m_strover, QString());
    m_timercopy = new QTimer(this);
    m_timercopy->setInterval(kTimerIntervalMs);
    connect(m_timercopy, &QTimer::timeout, this, &VaultMove::checkfilecopyover);
    m_foper->startCopy();
    m_timercopy->start();
    m_observer->moveStepChanged(VaultMoveStep::Copying, m_size.value());
}

void VaultMove::checkfilecopyover()
{
    // The switch waits for the disk in a local event loop, where this timer may fire again.
    if (!m_running || m_switching)
        return;
    if (m_phase == Phase::Copying) {
        // A helper may attach the vault while it is copied: the copy may then miss what is
        // written to it.
        if (VaultVolume::mountOfImage(m_oldPath)) {
            discard(QStringLiteral("The vault \"%1\" was unlocked while it was being copied, so the copy was "
                                   "discarded. The vault stays at \"%2\".")
                        .arg(m_request.vaultName, m_oldPath));
            return;
        }
        const QString status = m_strover.value();
        if (status == QLatin1String("error"))
            discard(copyFailure());
        else if (status == QLatin1String("over"))
            startVerify();
        return;
    }
    if (m_phase == Phase::Verifying && m_verification && m_verification->done) {
        m_verification->worker.join();
        const bool same = m_verification->same;
        const QString difference = m_verification->difference;
        m_verification.reset();
        if (!same) {
            discard(
                QStringLiteral("The copy at \"%1\" does not match the vault (%2), so it was discarded. The "
                               "vault stays at \"%3\".")
                    .arg(QFileInfo(m_newPath).path(), difference, m_oldPath));
            return;
        }
        switchOver();
    }
}

void VaultMove::startVerify()
{
    m_phase = Phase::Verifying;
    m_observer->moveStepChanged(VaultMoveStep::Verifying, m_size.value());
    if (!m_running)
        return; // cancelled by the observer
    m_verification = std::make_unique<Verification>();
    Verification* verification = m_verification.get();
    const QString original = m_oldPath;
    const QString copy = m_staging + QLatin1Char('/') + QFileInfo(m_oldPath).fileName();
    const QString staging = m_staging;
    verification->worker = std::thread([this, verification, original, copy, staging] {
        if (!TreeVerifier::syncFileSystem(staging)) {
            verification->difference = QStringLiteral("it could not be written to the disk");
        } else {
            const TreeVerifier::Result result =
                TreeVerifier::compare(original, copy, &verification->cancelled);
            verification->same = result.same;
            verification->difference = result.difference;
        }
        verification->done = true;
        // The owner joins this thread before it goes, so it is alive for the call to be queued.
        QMetaObject::invokeMethod(this, &VaultMove::checkfilecopyover, Qt::QueuedConnection);
    });
}

void VaultMove::switchOver()
{
    if (VaultVolume::mountOfImage(m_oldPath)) {
        discard(QStringLiteral("The vault \"%1\" was unlocked while it was being copied, so the copy was "
                               "discarded. The vault stays at \"%2\".")
                    .arg(m_request.vaultName, m_oldPath));
        return;
    }
    // From here on the move runs to its end; a cancel is no longer taken.
    m_switching = true;
    QString why;
    int error = 0;
    const QString copy = m_staging + QLatin1Char('/') + QFileInfo(m_oldPath).fileName();
    const bool placed = OffThread::wait([&] {
        if (!m_journal->advance(kStageCopied, {}, &why))
            return false;
        if (::renameat2(AT_FDCWD, encoded(copy).constData(), AT_FDCWD, encoded(m_newPath).constData(),
                        RENAME_NOREPLACE) != 0) {
            error = errno;
            return false;
        }
        syncFolder(QFileInfo(m_newPath).path());
        ::rmdir(encoded(m_staging).constData());
        return true;
    });
    if (!placed) {
        discard(
            error == 0
                ? QStringLiteral("The move could not be recorded, so the copy was discarded: %1").arg(why)
                : QStringLiteral("The copy could not be put in place at \"%1\" (%2), so it was discarded.")
                      .arg(m_newPath, QString::fromLocal8Bit(std::strerror(error))));
        return;
    }
    m_phase = Phase::Done;
    m_observer->moveStepChanged(VaultMoveStep::Placed, m_newPath);
    finishSwitch();
}

void VaultMove::finishSwitch()
{
    stopWork();
    QString why;
    const bool switched = OffThread::wait([&] {
        if (!switchRecords(*m_services.settings, m_request.vaultName, m_oldPath, m_newPath, &why))
            return false;
        QString stageError;
        if (!m_journal->advance(kStageSwitched, {}, &stageError))
            qCWarning(lcFiles) << "the move of" << m_request.vaultName
                               << "could not record its stage:" << stageError;
        return true;
    });
    if (!switched) {
        // The image is whole at both places; the start-up recovery settles which one is kept.
        m_journal.reset();
        end(VaultMoveOutcome::Result::Failed,
            QStringLiteral(
                "The vault was copied to \"%1\", but the vault list could not be saved (%2). Zorvane "
                "finishes the move when it starts next.")
                .arg(m_newPath, why));
        return;
    }
    m_observer->moveStepChanged(VaultMoveStep::Switched, m_newPath);

    // An unlock that raced the switch (the helper, for a program starting) writes to the old
    // image: it stays the vault, and the copy, older now, goes to the Trash.
    bool unlockedMeanwhile = false;
    OffThread::wait([&] {
        if (!VaultVolume::mountOfImage(m_oldPath) ||
            !switchRecords(*m_services.settings, m_request.vaultName, m_newPath, m_oldPath, &why))
            return;
        unlockedMeanwhile = true;
        if (!m_services.moveToTrash || !m_services.moveToTrash(m_newPath, &why))
            qCWarning(lcFiles) << "the unused copy" << m_newPath << "stays:" << why;
    });
    if (unlockedMeanwhile) {
        OffThread::wait([&] { m_journal->finish(); });
        m_journal.reset();
        end(VaultMoveOutcome::Result::Failed,
            QStringLiteral("The vault \"%1\" was unlocked while it was being moved, so it stays at \"%2\".")
                .arg(m_request.vaultName, m_oldPath));
        return;
    }

    // The old image is a whole second copy now; it goes where the user can still get it back.
    QString note;
    bool trashed = false;
    OffThread::wait([&] {
        if (!FileOperation::FileOrFolderIsExists(m_oldPath))
            return;
        if (VaultVolume::mountOfImage(m_oldPath))
            note = QStringLiteral("The old vault image stays at \"%1\" because it is in use.").arg(m_oldPath);
        else if (!m_services.moveToTrash || !m_services.moveToTrash(m_oldPath, &why))
            note =
                QStringLiteral("The old vault image could not be moved to the Trash and stays at \"%1\": %2")
                    .arg(m_oldPath, why);
        else
            trashed = true;
    });
    if (trashed)
        m_observer->moveStepChanged(VaultMoveStep::Trashed, m_oldPath);
    OffThread::wait([&] { m_journal->finish(); });
    m_journal.reset();
    end(VaultMoveOutcome::Result::Moved, note);
}

void VaultMove::cancel()
{
    if (!m_running || m_switching)
        return;
    stopWork();
    if (m_phase != Phase::Idle)
        OffThread::wait([&] { TreeCopier::removeTree(m_staging); });
    if (m_journal)
        m_journal->finish();
    end(VaultMoveOutcome::Result::Cancelled);
}

void VaultMove::discard(const QString& message)
{
    qCWarning(lcFiles).noquote() << "moving" << m_oldPath << "failed:" << message;
    stopWork();
    OffThread::wait([&] { TreeCopier::removeTree(m_staging); });
    if (m_journal)
        m_journal->finish();
    end(VaultMoveOutcome::Result::Failed, message);
}

void VaultMove::stopWork()
{
    if (m_timercopy)
        m_timercopy->stop();
    if (m_foper)
        m_foper->stopCopy();
    if (m_verification) {
        m_verification->cancelled = true;
        if (m_verification->worker.joinable())
            m_verification->worker.join();
        m_verification.reset();
    }
}

void VaultMove::end(VaultMoveOutcome::Result result, const QString& message)
{
    stopWork();
    m_phase = Phase::Done;
    m_running = false;
    m_switching = false;
    m_journal.reset();
    if (m_flagged) {
        m_flagged = false;
        GlobalVariable::sharedInstance().endFileOperation();
    }
    VaultMoveOutcome outcome;
    outcome.result = result;
    outcome.newPath = m_newPath;
    outcome.message = message;
    m_observer->moveEnded(outcome);
}

void VaultMove::Progress::setProgressMaximum(quint64 total)
{
    m_move.m_observer->setProgressMaximum(total);
}

void VaultMove::Progress::setProgressValue(quint64 done)
{
    m_move.sampleDestination();
    m_move.m_observer->setProgressValue(done);
    // The copy reports once more as it ends, just before it writes its outcome: look then rather
    // than up to a second later at the next tick.
    QMetaObject::invokeMethod(&m_move, &VaultMove::checkfilecopyover, Qt::QueuedConnection);
}

void VaultMove::sampleDestination()
{
    struct statvfs fs;
    if (::statvfs(encoded(QFileInfo(m_newPath).path()).constData(), &fs) != 0)
        return;
    m_lowestFreeBytes = std::min<quint64>(m_lowestFreeBytes, quint64(fs.f_bavail) * fs.f_frsize);
    if (fs.f_files > 0)
        m_lowestFreeFiles = std::min<quint64>(m_lowestFreeFiles, fs.f_favail);
}

QString VaultMove::copyFailure() const
{
    // The copy reports no reason of its own; what the destination looked like while it ran
    // usually tells.
    const QString folder = QFileInfo(m_newPath).path();
    QString reason;
    struct statvfs fs;
    if (!FileOperation::FileOrFolderIsExists(m_oldPath))
        reason = QStringLiteral("the vault image disappeared while it was copied");
    else if (::statvfs(encoded(folder).constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
        reason = QStringLiteral("the disk that holds it can't be written to");
    else if (m_lowestFreeBytes < 1024 * 1024)
        reason = QStringLiteral("the disk that holds it is full");
    else if (m_lowestFreeFiles == 0)
        reason = QStringLiteral("the disk that holds it can take no more files");
    else
        reason = QStringLiteral("a file of the vault could not be copied");
    return QStringLiteral(
               "The vault could not be copied to \"%1\": %2. Nothing was changed; the vault stays at "
               "\"%3\".")
        .arg(folder, reason, m_oldPath);
}

// ---- Start-up recovery ---------------------------------------------------------------------------

SettleOutcome VaultMove::settle(const JobRecord& journal, const JobSettleServices& services)
{
    const QString name = journal.field(kName);
    const QString oldPath = journal.field(kOldPath);
    const QString newPath = journal.field(kNewPath);
    const QString stage = journal.stage;
    // The journal is read like any settings path: never trusted beyond what a move writes.
    if (!Paths::isValidVaultName(name) || !isCleanAbsolute(oldPath) || !isCleanAbsolute(newPath) ||
        oldPath == newPath || QFileInfo(oldPath).fileName() != QFileInfo(newPath).fileName() ||
        !QStringList{kStageCopying, kStageCopied, kStageSwitched}.contains(stage) || !services.settings)
        return SettleOutcome::Unreadable;
    // A place whose disk is not there now can't be judged: wait for it.
    if (!QFileInfo(QFileInfo(oldPath).path()).isDir() || !QFileInfo(QFileInfo(newPath).path()).isDir()) {
        qCWarning(lcFiles) << "the move of" << name << "waits until both folders are reachable";
        return SettleOutcome::Keep;
    }

    SettingsStore& settings = *services.settings;
    settings.synchronize();
    const QString recorded = Records(settings).entry(SettingsKeys::VaultItem, name);
    // Before "copied" nothing at the new place is this move's.
    const bool newMayBeOurs = stage != kStageCopying;
    const bool oldWhole = isWholeImage(oldPath);
    const bool newWhole = newMayBeOurs && isWholeImage(newPath);
    const QString staging = stagingFolder(newPath);

    QString winner;
    if (recorded == oldPath)
        winner = oldWhole ? oldPath : newWhole ? newPath : QString();
    else if (recorded == newPath)
        winner = newWhole ? newPath : oldWhole ? oldPath : QString();
    else if (oldWhole || newWhole) {
        // The vault record went elsewhere (removed or edited): leave both images alone.
        qCInfo(lcFiles) << "the moved vault" << name << "is no longer recorded at either place";
        return TreeCopier::removeTree(staging) ? SettleOutcome::Settled : SettleOutcome::Keep;
    }
    if (winner.isEmpty()) {
        // No whole image anywhere: touch nothing, the staging folder may hold the last copy.
        qCWarning(lcFiles) << "the move of" << name << "left no whole image at" << oldPath << "or" << newPath;
        return SettleOutcome::Keep;
    }
    const QString loser = winner == oldPath ? newPath : oldPath;
    QString why;
    if (!switchRecords(settings, name, loser, winner, &why)) {
        qCWarning(lcFiles) << "the move of" << name << "can't be settled:" << why;
        return SettleOutcome::Keep;
    }

    const bool loserIsOurs = loser == oldPath || newMayBeOurs;
    if (loserIsOurs && isWholeImage(loser)) {
        if (VaultVolume::mountOfImage(loser)) {
            qCWarning(lcFiles) << "the duplicate vault image" << loser
                               << "is in use; it goes to the Trash later";
            return SettleOutcome::Keep;
        }
        if (!services.moveToTrash || !services.moveToTrash(loser, &why)) {
            qCWarning(lcFiles) << "the duplicate vault image" << loser
                               << "stays: the Trash refused it:" << why;
            return SettleOutcome::Keep;
        }
    } else if (FileOperation::FileOrFolderIsExists(loser)) {
        qCInfo(lcFiles) << "left alone at" << loser << ": not an image this move made";
    }
    if (!TreeCopier::removeTree(staging)) {
        qCWarning(lcFiles) << "cannot remove the staging folder" << staging;
        return SettleOutcome::Keep;
    }
    qCInfo(lcFiles) << "the move of" << name << "was settled at" << winner;
    return SettleOutcome::Settled;
}

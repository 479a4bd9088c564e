#include "app/items/FileJob.h"

#include "app/items/ItemTableModel.h"
#include "app/items/ProtectPort.h"
#include "app/items/ProtectRequest.h"
#include "app/items/item1.h"
#include "core/files/FileOperation.h"
#include "core/processes/DaemonTable.h"
#include "core/settings/GlobalVariable.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/DistributedNotificationCenter.h"
#include "core/system/Logging.h"
#include "core/system/OffThread.h"
#include "core/vault/ItemPlace.h"
#include "core/vault/ProtectWork.h"
#include "core/vault/RestoreWork.h"
#include "core/vault/VaultUsage.h"
#include "core/vault/VolumeEjector.h"
#include "platform/Trash.h"
#include "ui/AttachedWindow.h"
#include "ui/MyProgressIndicator.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <sys/stat.h>

namespace {

const QString kEncryptFailed = QStringLiteral("Encrypt failed");

bool lexists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

FileJob* FileJob::start(item1& page, bool change, const QString& appName, const QString& vaultName,
                        quint64 totalSize)
{
    SettingsStore& settings = *page.m_services.settings;
    ProtectRequest& request = *page.m_request;
    const Records records(settings);
    const bool move = change;
    QWidget* sheetWindow =
        move ? page.m_additemwindow : (page.m_scanappwindow ? page.m_scanappwindow.data() : page.window());
    QLabel* capacity = move ? page.m_avaCapacity : page.m_avaCapacityTwo.data();
    const auto refuse = [&](const QString& title, const QString& text) {
        page.m_services.alerts->runAlert(Alert(title, text), sheetWindow);
    };
    const auto cleanUp = [&] {
        if (move)
            page.m_additemwindow->setWindowTitle(QStringLiteral("Add item"));
        else if (page.m_avaCapacityTwo)
            page.m_avaCapacityTwo->clear();
    };

    const ItemPlace place = ItemPlace::resolve(appName, vaultName, page.m_xmlarray, settings);
    if (place.dataPath.isEmpty())
        return nullptr;
    const QString dataPath = PathSafety::normalise(place.dataPath);
    const QString last = QFileInfo(dataPath).fileName();
    const QString oldVault = move ? records.entry(SettingsKeys::RedirectItem, appName) : QString();
    if (move && oldVault.isEmpty())
        return nullptr;

    // The job checks its place itself: the scan reaches it without the request's checks.
    std::optional<ProtectRequest::Refusal> refusal;
    if (move) {
        refusal = request.placeRefusal(appName, dataPath, QString());
        if (!refusal && vaultName == oldVault)
            refusal = ProtectRequest::Refusal{
                kEncryptFailed,
                QStringLiteral(
                    "\"%1\" already exists in the vault you specified, please select a different vault.")
                    .arg(appName)};
        for (FileJob* job : page.runningJobs())
            if (!refusal && (job->item() == appName || job->place() == dataPath))
                refusal = ProtectRequest::Refusal{
                    kEncryptFailed,
                    QStringLiteral("\"%1\" is being worked on right now. Please wait until that "
                                   "has finished and try again.")
                        .arg(appName)};
    } else if (records.contains(SettingsKeys::RedirectItem, appName)) {
        refusal = ProtectRequest::Refusal{
            kEncryptFailed,
            QStringLiteral("\"%1\" is protected already. To keep it in another vault, use \"Edit…\".")
                .arg(appName)};
    } else if (!FileOperation::FileOrFolderIsExists(dataPath)) {
        refusal =
            ProtectRequest::Refusal{kEncryptFailed, QStringLiteral("\"%1\" can't be found.").arg(dataPath)};
    } else if (FileOperation::IsFileASymlnkOrAlias(dataPath)) {
        refusal = ProtectRequest::Refusal{
            QStringLiteral("Can't encrypt alias file"),
            QStringLiteral("Zorvane can't encrypt an alias file, please select either a file or folder.")};
    } else {
        refusal = request.placeRefusal(appName, dataPath, vaultName);
    }
    if (refusal) {
        refuse(refusal->title, refusal->text);
        cleanUp();
        return nullptr;
    }

    QString oldMount;
    if (move) {
        const QString oldImage = records.entry(SettingsKeys::VaultItem, oldVault);
        if (!ItemPlace::vaultAttached(oldVault, oldImage))
            page.m_additemwindow->setWindowTitle(QStringLiteral("mounting....."));
        oldMount = request.ensureMounted(oldVault, sheetWindow, nullptr, QString());
        if (oldMount.isEmpty()) {
            cleanUp();
            return nullptr;
        }
    }
    const QString image = records.entry(SettingsKeys::VaultItem, vaultName);
    if (move && !ItemPlace::vaultAttached(vaultName, image))
        page.m_additemwindow->setWindowTitle(QStringLiteral("mounting....."));
    const QString mount =
        request.ensureMounted(vaultName, sheetWindow, capacity, QStringLiteral("mounting..."));
    if (mount.isEmpty()) {
        cleanUp();
        return nullptr;
    }
    const QString destination = mount + QLatin1Char('/') + last;
    const QString oldCopy = move ? oldMount + QLatin1Char('/') + last : QString();
    if (move) {
        if (!lexists(oldCopy)) {
            refuse(kEncryptFailed,
                   QStringLiteral("The data of \"%1\" is not in the vault \"%2\".").arg(appName, oldVault));
            cleanUp();
            return nullptr;
        }
        if (lexists(destination) && request.capacityOf(destination) == 0)
            OffThread::wait([&] { return page.m_services.trash->moveToTrash(destination); });
        if (lexists(destination)) {
            refuse(kEncryptFailed,
                   QStringLiteral("\"%1\" already exists in the vault you specified, please select "
                                  "a different vault.")
                       .arg(appName));
            return nullptr;
        }
    } else if (!request.clearLeftover(destination, sheetWindow, capacity)) {
        cleanUp();
        return nullptr;
    }

    quint64 free = 0;
    quint64 total = 0;
    if (!request.spaceOf(mount, &free, &total)) {
        refuse(QStringLiteral("Unlock failed"),
               QStringLiteral("The vault failed to unlock, please try again later"));
        cleanUp();
        return nullptr;
    }
    const quint64 need = move ? request.capacityOf(oldCopy) : totalSize;
    if (need >= free) {
        request.offerResize(move ? ProtectRequest::OfferFrom::JobMove : ProtectRequest::OfferFrom::JobNew,
                            sheetWindow, capacity, vaultName, need, free, total);
        cleanUp();
        return nullptr;
    }

    ProtectWork::Plan plan;
    plan.move = move;
    plan.item = appName;
    plan.place = dataPath;
    plan.vault = vaultName;
    plan.mountPoint = mount;
    plan.imagePath = image;
    plan.oldVault = oldVault;
    plan.oldMountPoint = oldMount;
    plan.linkFlag = place.isCustom ? 1 : place.linkFlag;
    plan.verifyContent = settings.boolForKey(SettingsKeys::VerifyCopyContent);
    plan.wroteCustomRecord = !move && page.m_recordWrittenFor == appName;
    auto work = std::make_unique<ProtectWork>(plan, page.m_services.trash->access());
    QString why;
    // On the disk before anything changes there; nothing starts when it can't be written.
    if (!OffThread::wait([&] { return work->begin(&why); })) {
        refuse(QStringLiteral("Encryption failed"),
               QStringLiteral("Zorvane could not record the job, so nothing was changed: %1").arg(why));
        cleanUp();
        return nullptr;
    }
    JobVerdict::killPoint("journaled");

    const QString oldImage = move ? records.entry(SettingsKeys::VaultItem, oldVault) : QString();
    auto* job = new FileJob(page, std::move(work), nullptr, 0, image, oldImage);
    {
        QMutexLocker lock(&page.m_tableviewlock);
        if (move) {
            page.m_port->endSheet(page.m_additemwindow);
            const int index = page.rowOfItem(appName);
            if (index >= 0) {
                job->takeOverRow(page.m_tablelist[index]);
            }
        } else {
            page.m_isClosedScanWindow = true;
            tableviewmodel row = page.makeRow(place);
            row.setStrstatus(tableviewmodel::kUnlocked);
            row.setImagenum(1);
            row.setFoldersize(job->m_size);
            row.setTablepercent(job->m_percent);
            row.setStrover(job->m_status);
            row.setJob(job->m_token.handle());
            page.m_tablelist.append(row);
        }
    }
    page.reloadTable();
    if (!move)
        page.resolveIcon(place);

    job->m_total = request.capacityOf(move ? oldCopy : dataPath);
    job->m_size.setValue(FileOperation::stringFromFileSize(job->m_total));
    if (MyProgressIndicator* bar = job->progressBar()) {
        bar->setProgressMaximum(job->m_total);
        bar->setProgressValue(0);
    }
    page.m_jobs.append(job);
    GlobalVariable::sharedInstance().setScanProgress(true);
    job->m_timer->start();
    job->m_thread = std::thread([job] { job->myCopyThread(); });
    page.placeProgressBars();
    return job;
}

FileJob* FileJob::startRestore(item1& page, std::unique_ptr<RestoreWork> work, quint64 total)
{
    const QString image =
        Records(*page.m_services.settings).entry(SettingsKeys::VaultItem, work->plan().vault);
    auto* job = new FileJob(page, nullptr, std::move(work), total, image, QString());
    {
        QMutexLocker lock(&page.m_tableviewlock);
        const int index = page.rowOfItem(job->item());
        if (index >= 0) {
            job->m_size.setValue(FileOperation::stringFromFileSize(total));
            job->takeOverRow(page.m_tablelist[index]);
        }
    }
    page.reloadTable();
    if (MyProgressIndicator* bar = job->progressBar()) {
        bar->setProgressMaximum(total);
        bar->setProgressValue(0);
    }
    page.m_jobs.append(job);
    GlobalVariable::sharedInstance().setScanProgress(true);
    // The first tick already shows a percentage.
    job->showProgress();
    job->m_timer->start();
    job->m_thread = std::thread([job] { job->myCopyThread(); });
    page.placeProgressBars();
    return job;
}

// A listed item's row shows this job: its state, size and progress bar, sharing the row's
// percentage if another job had one there.
void FileJob::takeOverRow(tableviewmodel& row)
{
    row.setStrover(m_status);
    if (row.tablepercent().isNull())
        row.setTablepercent(m_percent);
    else
        m_percent = row.tablepercent();
    row.setFoldersize(m_size);
    if (!row.progressobj())
        row.setProgressobj(new MyProgressIndicator(m_page.m_tableview->viewport()));
    row.setJob(m_token.handle());
}

FileJob::FileJob(item1& page, std::unique_ptr<ProtectWork> work, std::unique_ptr<RestoreWork> restore,
                 quint64 total, const QString& imagePath, const QString& oldImagePath)
    : QObject(&page), m_page(page), m_work(std::move(work)), m_restore(std::move(restore)),
      m_status(SharedString::create(QStringLiteral("begin"))), m_percent(SharedString::create()),
      m_size(SharedString::create()), m_total(total), m_imagePath(imagePath), m_oldImagePath(oldImagePath)
{
    m_timer = new QTimer(this);
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, &FileJob::checkfilecopyover);
}

FileJob::~FileJob()
{
    // Going away mid-job (the program quits): the copy stops; the journal stays for the next start.
    if (m_thread.joinable()) {
        if (m_work)
            m_work->cancel();
        else
            m_restore->cancel();
        m_thread.join();
    }
}

QString FileJob::item() const
{
    return m_work ? m_work->plan().item : m_restore->plan().item;
}

QString FileJob::place() const
{
    return m_work ? m_work->plan().place : m_restore->plan().place;
}

QString FileJob::vault() const
{
    return m_work ? m_work->plan().vault : m_restore->plan().vault;
}

QString FileJob::oldVault() const
{
    return m_work ? m_work->plan().oldVault : QString();
}

bool FileJob::isMove() const
{
    return m_work && m_work->plan().move;
}

quint64 FileJob::bytesDone() const
{
    return m_work ? m_work->bytesDone() : m_restore->bytesDone();
}

MyProgressIndicator* FileJob::progressBar() const
{
    const int index = m_page.rowOfItem(item());
    QMutexLocker lock(&m_page.m_tableviewlock);
    return index < 0 ? nullptr : m_page.m_tablelist.at(index).progressobj();
}

void FileJob::myCopyThread()
{
    const bool over = m_work ? m_work->run() : m_restore->run();
    // A worker stopped without a verdict leaves "begin": the timer sees the thread end.
    if (!(m_work ? m_work->stoppedWithoutVerdict() : m_restore->stoppedWithoutVerdict()))
        m_status.setValue(over ? tableviewmodel::kOver : tableviewmodel::kError);
    m_threadEnded = true;
    // The owner joins this thread before it goes, so it is there for the call to be queued.
    QMetaObject::invokeMethod(this, &FileJob::checkfilecopyover, Qt::QueuedConnection);
}

void FileJob::checkfilecopyover()
{
    // The completion waits for the disk in local event loops, where this may be called again.
    if (!m_running || m_completing)
        return;
    QString status = m_status.value();
    if (status != tableviewmodel::kOver && status != tableviewmodel::kError) {
        if (!m_threadEnded) {
            showProgress();
            return;
        }
        qCWarning(lcItems) << "the worker of" << item() << "ended without a verdict";
        status = tableviewmodel::kError;
        m_status.setValue(status);
    }
    m_completing = true;
    m_timer->stop();
    if (m_thread.joinable())
        m_thread.join();
    if (isRestore())
        status == tableviewmodel::kOver ? completeRestoreOver() : completeRestoreError();
    else if (status == tableviewmodel::kOver)
        completeOver();
    else
        completeError();
}

void FileJob::showProgress()
{
    // The copy's own byte count: its files grow under hidden names a walk would not see.
    const quint64 done = std::min(bytesDone(), m_total);
    if (m_total > 0) {
        const quint64 percent = std::min<quint64>(100, done * 100 / m_total);
        m_percent.setValue((isRestore() ? QStringLiteral("Restoring %1%")
                            : isMove()  ? QStringLiteral("Moving %1%")
                                        : QStringLiteral("Encrypting %1%"))
                               .arg(percent));
        if (MyProgressIndicator* bar = progressBar()) {
            bar->setProgressMaximum(m_total);
            bar->setProgressValue(done);
        }
        const int index = m_page.rowOfItem(item());
        if (index >= 0)
            m_page.m_model->rowChanged(index);
    }
    if (done > m_reported && !m_imagePath.isEmpty() && !isRestore()) {
        m_page.m_usage->addStoredBytes(m_imagePath, qint64(done - m_reported));
        m_reported = done;
    }
    ++m_calcvalue;
}

bool FileJob::recordCompletion(const std::function<bool(QString*)>& record, const QString& title,
                               const std::function<QString(const QString& why)>& unsaved)
{
    QString why;
    const bool recorded = OffThread::wait([&] { return record(&why); });
    JobVerdict::killPoint("recorded");
    if (recorded)
        return true;
    // The data is where the job put it; the journal stays and the next start settles the records.
    qCWarning(lcItems) << "the records of" << item() << "could not be written:" << why;
    m_page.m_services.alerts->runAlert(
        Alert(title, unsaved(why) + QStringLiteral(" Zorvane finishes this the next time it starts.")),
        m_page.window());
    end();
    return false;
}

void FileJob::completeOver()
{
    SettingsStore& settings = *m_page.m_services.settings;
    if (!recordCompletion(
            [&](QString* why) { return m_work->recordOver(settings, why); },
            QStringLiteral("Encryption failed"),
            [this](const QString& why) {
                return QStringLiteral(
                           "%1 was saved to the vault \"%2\", but Zorvane could not save its list: %3.")
                    .arg(item(), vault(), why);
            }))
        return;
    DaemonQuery completion(DaemonPhase::Completion);
    completion.applicationName = item();
    for (const DaemonRule& rule : DaemonTable::rulesFor(completion))
        if (rule.action == DaemonAction::Notification && m_page.m_services.distributed &&
            !rule.targets.isEmpty())
            m_page.m_services.distributed->post(rule.targets.constFirst());
    {
        QMutexLocker lock(&m_page.m_tableviewlock);
        const int index = m_page.rowOfItem(item());
        if (index >= 0 && isMove())
            m_page.m_tablelist[index].setRedirectpath(vault());
    }
    m_page.reloadTable();

    bool ejected = false;
    // A move never counted itself into a batch, so it never counts down another's.
    if (!isMove() && m_page.m_scanitemstotal > 0 && --m_page.m_scanitemstotal == 0)
        ejected = ejectBatchVault();
    const bool batchDone = m_page.m_scanitemstotal == 0;
    const QString description = m_page.descriptionOf(item());
    m_work->endJournal();
    end();
    if (!description.isEmpty())
        m_page.helpwindow(description, vault(), batchDone && !ejected ? 3 : 1);
    m_page.lockhelpwindow();
}

bool FileJob::ejectBatchVault()
{
    for (FileJob* other : m_page.runningJobs()) {
        if (other != this && (other->vault() == vault() || other->oldVault() == vault())) {
            qCInfo(lcItems) << "the vault" << vault() << "stays unlocked: another job uses it";
            return false;
        }
    }
    const QString mountPoint = QDir::cleanPath(Paths::mountPoint(vault()));
    QString why;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (OffThread::wait([&] { return VolumeEjector::unmountAndEjectDeviceAtPath(mountPoint, &why); }))
            return true;
    }
    qCInfo(lcItems) << "the vault" << vault() << "stays unlocked:" << why;
    return false;
}

void FileJob::completeError()
{
    SettingsStore& settings = *m_page.m_services.settings;
    {
        QMutexLocker lock(&m_page.m_tableviewlock);
        const int index = m_page.rowOfItem(item());
        if (index >= 0) {
            tableviewmodel& row = m_page.m_tablelist[index];
            if (MyProgressIndicator* bar = row.progressobj())
                bar->hide();
            if (!isMove()) {
                if (MyProgressIndicator* bar = row.progressobj())
                    bar->deleteLater();
                m_page.m_tablelist.removeAt(index);
            }
        }
    }
    m_page.reloadTable();
    if (m_work->originalInPlace()) {
        OffThread::wait([&] { m_work->rollBack(settings); });
        m_work->endJournal();
    } else {
        // The original is in the Trash and the copy in the vault: the next start finishes the job.
        qCWarning(lcItems) << "the job of" << item() << "keeps its journal:" << m_work->failure();
    }
    // Its part of the batch is over: left counted, it would keep every later batch from locking
    // the vault. Failing, it doesn't lock the vault itself (the user may try again right away).
    if (!isMove() && m_page.m_scanitemstotal > 0)
        --m_page.m_scanitemstotal;
    DaemonQuery completion(DaemonPhase::Completion);
    completion.applicationName = item();
    Alert alert(
        QStringLiteral("Encryption failed"),
        QStringLiteral("Encrypt %1 failed, the files is in use by another application or you don't have "
                       "permission to access the files.\r\n\r\nplease make sure that all applications and "
                       "files are closed, if the problem still exists, try to restart your mac to solve the "
                       "problem.")
            .arg(item()));
    for (const DaemonRule& rule : DaemonTable::rulesFor(completion)) {
        if (rule.action == DaemonAction::JobError) {
            alert = Alert(rule.title, QString(rule.text).replace(QStringLiteral("%@"), item()));
            break;
        }
    }
    end();
    m_page.m_services.alerts->runAlert(alert, m_page.window());
}

void FileJob::completeRestoreOver()
{
    SettingsStore& settings = *m_page.m_services.settings;
    if (!recordCompletion([&](QString* why) { return m_restore->recordOver(settings, why); },
                          QStringLiteral("Decryption failed"),
                          [this](const QString& why) {
                              return QStringLiteral(
                                         "%1 was restored to its original location, but Zorvane could "
                                         "not save its list: %2.")
                                  .arg(item(), why);
                          }))
        return;
    {
        QMutexLocker lock(&m_page.m_tableviewlock);
        const int index = m_page.rowOfItem(item());
        if (index >= 0) {
            if (MyProgressIndicator* bar = m_page.m_tablelist.at(index).progressobj())
                bar->deleteLater();
            m_page.m_tablelist.removeAt(index);
        }
    }
    m_page.reloadTable();
    const QString description = m_page.descriptionOf(item());
    m_restore->endJournal();
    end();
    if (!description.isEmpty())
        m_page.helpwindow(description, QString(), 2);
}

void FileJob::completeRestoreError()
{
    {
        QMutexLocker lock(&m_page.m_tableviewlock);
        const int index = m_page.rowOfItem(item());
        if (index >= 0)
            if (MyProgressIndicator* bar = m_page.m_tablelist.at(index).progressobj())
                bar->hide();
    }
    m_page.reloadTable();
    // The worker left the link, the vault's copy and the records as they were; a worker stopped
    // without a verdict leaves its journal to the next start.
    if (!m_restore->stoppedWithoutVerdict())
        m_restore->endJournal();
    qCWarning(lcItems) << "the restore of" << item() << "failed:" << m_restore->failure();
    end();
    m_page.m_services.alerts->runAlert(
        Alert(
            QStringLiteral("Decryption failed"),
            QStringLiteral("Decrypt %1 failed,the files is in use by another application.\r\n\r\nplease make "
                           "sure that all applications and files are closed,if the problem still exists,try "
                           "to restart your mac to solve the problem.")
                .arg(item())),
        m_page.window());
}

void FileJob::end()
{
    m_running = false;
    m_timer->stop();
    for (const QString& image : {m_imagePath, m_oldImagePath})
        if (!image.isEmpty())
            m_page.m_usage->jobEnded(image);
    m_page.jobEnded(this);
    deleteLater();
}

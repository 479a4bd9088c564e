#include "app/vaults/Controler.h"

#include "core/files/FileOperation.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/GetSystemVersion.h"
#include "core/system/Logging.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "core/system/SecretWipe.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/DiskImageTask.h"
#include "core/vault/ImageWorkFolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QThread>
#include <csignal>
#include <unistd.h>

namespace {

using PopUp = CreateSheetPort::PopUp;
using Check = CreateSheetPort::Check;
using Sheet = CreateSheetPort::Sheet;

const QColor kMatchColour = QColor::fromRgbF(0.0, 0.6, 0.3, 1.0);
const QColor kMismatchColour = QColor::fromRgbF(1.0, 0.0, 0.0, 1.0);

const QString kPasswordsMatch = QStringLiteral("Passwords match");
const QString kPasswordsDiffer = QStringLiteral("Passwords do not match");
const QString kNameIncorrect = QStringLiteral("Name is incorrect");
const QString kPasswordIncorrect = QStringLiteral("Password is incorrect");

const QString kStorePasswordText = QStringLiteral(
    "If you select “Store password in your keychain”,Zorvane will remember that password and stop "
    "prompting you for it every time you need to open the encrypted vault.However,if you store the "
    "passwords on your mac,anyone who has access to your mac could potentially open the vault without "
    "entering the password.Therefore, for high security reasons,it is recommended that you do not select "
    "the check box and that you always enter your password when you need to open the vault.\r\n\r\nAre "
    "you sure you want to store the password to your keychain?");

const QString kCreateFailedText = QStringLiteral(
    "Create vault failed, if you want to create a vault in an external drive or a network share point, "
    "please select \"sparse disk image\"instead of\"sparse bundle disk image\" at \"advanced options\" "
    "below.\r\n\r\nOr if you have Drive Genius installed, please remove DrivePulse from your login items, "
    "reboot your mac, and try again.");

} // namespace

Controler::Controler(const ControlerServices& services, QObject* parent)
    : QObject(parent), m_services(services)
{
    m_services.sheet->setClient(this);
}

Controler::~Controler()
{
    // Quitting while a vault is being made must not leave the tool's work behind.
    if (m_vaulttask) {
        m_canceled = true;
        stopTask();
    }
    wipePassword();
    m_services.sheet->setClient(nullptr);
}

void Controler::showSheet(QWidget* mainWindow)
{
    if (!m_loaded) {
        m_loaded = true;
        awakeFromNib();
    }
    m_services.sheet->present(mainWindow);
}

void Controler::awakeFromNib()
{
    CreateSheetPort* sheet = m_services.sheet;
    setCanceled(false);
    disclosureTrianglePressed();
    const QString folder = m_services.settings->stringForKey(SettingsKeys::DefaultVaultLocation);
    if (!folder.isEmpty())
        sheet->setText(Field::FilePath, folder);
    SetPopupButton();
    sheet->setOkEnabled(false);
}

void Controler::SetPopupButton()
{
    CreateSheetPort* sheet = m_services.sheet;
    sheet->setItems(PopUp::Unit, {QStringLiteral("GB"), QStringLiteral("MB")});
    if (GetSystemVersion::isOlderThan(QStringLiteral("10.5"))) {
        sheet->setRecommendAdvice(
            QStringLiteral("sparse disk image is recommended  for Mac OS X 10.4 and earlier"));
        sheet->setItems(PopUp::Format, {kSparseImage, kDmgFile});
    } else {
        sheet->setRecommendAdvice(
            QStringLiteral("sparse bundle disk image is recommended  for Mac OS X 10.5 and later"));
        sheet->setItems(PopUp::Format, {kSparseBundle, kSparseImage, kDmgFile});
    }
    std::optional<quint64> freeBytes;
    const QStorageInfo root(QStringLiteral("/"));
    if (root.isValid() && root.isReady() && root.bytesAvailable() >= 0)
        freeBytes = quint64(root.bytesAvailable());
    sheet->setItems(PopUp::Size, sizeItems(freeBytes));
}

QStringList Controler::sizeItems(std::optional<quint64> freeBytes)
{
    QStringList items;
    if (freeBytes)
        items.append(stringFromFileSize(double(*freeBytes)) + kFreeSizeSuffix);
    items << QStringLiteral("20GB") << QStringLiteral("10GB") << QStringLiteral("4.2GB(DVD)")
          << QStringLiteral("1GB") << QStringLiteral("570MB(CD)") << QStringLiteral("100MB") << kCustom;
    return items;
}

QString Controler::stringFromFileSize(double size)
{
    if (size < 1023)
        return QString::asprintf("%i bytes", int(size));
    static const char* const units[] = {"KB", "MB"};
    for (const char* unit : units) {
        size /= 1024.0;
        if (size < 1023)
            return QString::asprintf("%1.1f%s", size, unit);
    }
    return QString::asprintf("%1.1fGB", size / 1024.0);
}

QString Controler::sizeArgument(const QString& title)
{
    const qsizetype open = title.indexOf(QLatin1Char('('));
    if (open >= 0 && title.contains(kCustom)) {
        const qsizetype close = title.indexOf(QLatin1Char(')'), open);
        return title.mid(open + 1, close < 0 ? -1 : close - open - 1);
    }
    if (open >= 0)
        return title.left(qMax<qsizetype>(open - 1, 0));
    return title.left(title.size() - 1);
}

std::optional<double> Controler::progressFromChunk(const QString& chunk)
{
    const qsizetype colon = chunk.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    const qsizetype dot = chunk.indexOf(QLatin1Char('.'), colon + 1);
    if (dot < 0)
        return std::nullopt;
    const QString number = chunk.mid(colon + 1, dot - colon - 1);
    if (number == QStringLiteral("-1"))
        return std::nullopt;
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

QString Controler::customSizeText(const QString& typed)
{
    static const QRegularExpression leadingNumber(QStringLiteral("^\\s*\\+?(\\d+)"));
    const QRegularExpressionMatch match = leadingNumber.match(typed);
    if (!match.hasMatch())
        return QString();
    QString digits = match.captured(1);
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return digits.left(4);
}

QString Controler::extensionForFormat(const QString& format)
{
    if (format == kSparseBundle)
        return QStringLiteral("sparsebundle");
    if (format == kSparseImage)
        return QStringLiteral("sparseimage");
    return QStringLiteral("dmg");
}

bool Controler::hideVolume(const QString& volumeName)
{
    if (!Paths::ensureVolumesRoot())
        return false;
    const QString path = Paths::volumesRoot() + QLatin1Char('/') + kHiddenFileName;
    QByteArray content;
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        content = file.readAll();
    }
    const QByteArray line = volumeName.toUtf8();
    if (content.split('\n').contains(line))
        return true;
    if (!content.isEmpty() && !content.endsWith('\n'))
        content.append('\n');
    content.append(line + '\n');
    QString why;
    if (!AtomicFile::write(path, content, &why, 0600)) {
        qCWarning(lcApp) << "could not hide the volume" << volumeName << why;
        return false;
    }
    return true;
}

QString Controler::selectedTitle(PopUp popUp) const
{
    return m_services.sheet->items(popUp).value(m_services.sheet->selectedIndex(popUp));
}

void Controler::textDidChange(Field field)
{
    CreateSheetPort* sheet = m_services.sheet;
    const QString name = sheet->text(Field::ValueName);
    const QString password = sheet->text(Field::PassWord);
    const QString confirmation = sheet->text(Field::RepeatPassWorld);
    if (field == Field::PassWord || field == Field::RepeatPassWorld) {
        if (password == confirmation) {
            sheet->setPasswordStatus(kPasswordsMatch, kMatchColour);
            if (!name.isEmpty())
                sheet->setOkEnabled(true);
        } else {
            sheet->setPasswordStatus(kPasswordsDiffer, kMismatchColour);
            sheet->setOkEnabled(false);
        }
    } else if (field == Field::ValueName) {
        if (name.isEmpty())
            sheet->setOkEnabled(false);
        else if (!password.isEmpty() && password == confirmation)
            sheet->setOkEnabled(true);
    }
}

void Controler::controlTextDidChange()
{
    CreateSheetPort* sheet = m_services.sheet;
    const QString typed = sheet->text(Field::CustomSize);
    const QString kept = customSizeText(typed);
    if (kept != typed)
        sheet->setText(Field::CustomSize, kept);
}

void Controler::GetFilePath()
{
    const std::optional<QString> folder =
        m_services.sheet->chooseFolder(Paths::home(), QStringLiteral("Select"));
    if (folder)
        m_services.sheet->setText(Field::FilePath, *folder);
}

void Controler::ClickPopupButton()
{
    // The custom item is the last one; with the free-space item present it is the eighth.
    CreateSheetPort* sheet = m_services.sheet;
    const QStringList items = sheet->items(PopUp::Size);
    const int index = sheet->selectedIndex(PopUp::Size);
    if (index == items.size() - 1 && items.value(index).startsWith(kCustom))
        sheet->openSheet(Sheet::CustomSize);
}

void Controler::OkSizeWindow()
{
    CreateSheetPort* sheet = m_services.sheet;
    const int value = customSizeText(sheet->text(Field::CustomSize)).toInt();
    if (value == 0) {
        refuse(QStringLiteral("Size is incorrect"), QStringLiteral("Disk image file size can not be zero!"),
               sheet->sizeWindow());
        return;
    }
    const QString title = kCustom + QStringLiteral("(%1%2)").arg(value).arg(selectedTitle(PopUp::Unit));
    const QStringList items = sheet->items(PopUp::Size);
    const int customIndex = int(items.size()) - 1;
    if (items.value(customIndex) != title) {
        sheet->addItem(PopUp::Size, title);
        sheet->selectIndex(PopUp::Size, customIndex + 1);
        sheet->removeItem(PopUp::Size, customIndex);
    }
    sheet->selectIndex(PopUp::Size, customIndex);
    sheet->closeSheet(Sheet::CustomSize);
}

void Controler::CancelSizeWindow()
{
    CreateSheetPort* sheet = m_services.sheet;
    if (selectedTitle(PopUp::Size) == kCustom)
        sheet->selectIndex(PopUp::Size, 0);
    sheet->closeSheet(Sheet::CustomSize);
}

void Controler::disclosureButtonPressed()
{
    m_services.sheet->setDisclosureOpen(!m_services.sheet->isDisclosureOpen());
    disclosureTrianglePressed();
}

void Controler::disclosureTrianglePressed()
{
    m_services.sheet->setAdvancedVisible(m_services.sheet->isDisclosureOpen());
}

void Controler::ClickKeyChainButton()
{
    CreateSheetPort* sheet = m_services.sheet;
    if (!sheet->isChecked(Check::Keychain))
        return;
    const Alert alert(QStringLiteral("Store the password?"), kStorePasswordText,
                      {QStringLiteral("NO"), QStringLiteral("Yes")});
    if (m_services.alerts->runAlert(alert, sheet->window()) == AlertPort::kFirstButton)
        sheet->setChecked(Check::Keychain, false);
}

bool Controler::refuse(const QString& title, const QString& text, QObject* window)
{
    m_services.alerts->runAlert(Alert(title, text), window ? window : m_services.sheet->window());
    return false;
}

bool Controler::validateInput(const QString& name, const QString& password, const QString& confirmation)
{
    if (name.isEmpty())
        return refuse(kNameIncorrect, QStringLiteral("The vault name must not be empty!"));
    // The name becomes a file name and a mount point: it must be one path component.
    if (!Paths::isValidVaultName(name))
        return refuse(kNameIncorrect, QStringLiteral("The vault name must not contain \"/\" or a null "
                                                     "character, and must not be \".\" or \"..\"!"));
    if (password.isEmpty() || confirmation.isEmpty())
        return refuse(kPasswordIncorrect, QStringLiteral("The password must not be empty!"));
    if (password != confirmation)
        return refuse(kPasswordIncorrect, QStringLiteral("Password does not match the confirm password!"));
    const QString folder = m_services.sheet->text(Field::FilePath);
    if (!QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
        return refuse(QStringLiteral("Folder is incorrect"),
                      QStringLiteral("Please choose an existing folder for the vault."));
    return true;
}

void Controler::CreateDmgFile()
{
    if (m_vaulttask)
        return;
    CreateSheetPort* sheet = m_services.sheet;
    const QString typedName = sheet->text(Field::ValueName);
    const QString password = sheet->text(Field::PassWord);
    const QString confirmation = sheet->text(Field::RepeatPassWorld);
    if (!validateInput(typedName, password, confirmation))
        return;
    // The record name, the volume name (and so the mount point) and the image's file name must
    // be one and the same: a second "Data" becomes "Data_0" in all three, or its items would be
    // looked for under a mount point that never exists.
    const QString name = Records(*m_services.settings).uniqueVaultName(typedName);

    const QString path = QDir::cleanPath(sheet->text(Field::FilePath) + QLatin1Char('/') + name +
                                         QLatin1Char('.') + extensionForFormat(selectedTitle(PopUp::Format)));
    if (FileOperation::FileOrFolderIsExists(path)) {
        refuse(QStringLiteral("Vault already exists"),
               QStringLiteral("\"%1\" already exists in the destination folder you specified, please enter "
                              "another vault name")
                   .arg(QFileInfo(path).fileName()));
        return;
    }
    m_nsValueName = name;
    m_nsPassWord = password;
    m_nsFilePath = path;
    const QString encryption =
        sheet->selectedStrength() == kStrong ? QStringLiteral("AES-256") : QStringLiteral("AES-128");
    startCreateTask(sizeArgument(selectedTitle(PopUp::Size)), encryption);
}

void Controler::startCreateTask(const QString& sizeArg, const QString& encryption)
{
    setCanceled(false);
    CreateSheetPort* sheet = m_services.sheet;
    m_vaulttask = AttachDiskImageController::hdiutilTaskWithCommand(
        QStringLiteral("create"), std::nullopt,
        {QStringLiteral("-puppetstrings"), QStringLiteral("-stdinpass"), QStringLiteral("-encryption"),
         encryption, QStringLiteral("-size"), sizeArg, QStringLiteral("-fs"), QStringLiteral("HFS+"),
         QStringLiteral("-layout"), QStringLiteral("NONE"), QStringLiteral("-volname"), m_nsValueName,
         m_nsFilePath});
    // Its own process group, so a cancel also ends the encryption engine the tool runs.
    m_vaulttask->setChildProcessModifier([] { ::setpgid(0, 0); });
    appendPassword(*m_vaulttask);
    connect(m_vaulttask.get(), &QProcess::readyReadStandardOutput, this, &Controler::outPipeDataAvailable);
    connect(m_vaulttask.get(), &QProcess::finished, this, &Controler::hdiutilAttachDidTerminate);
    connect(m_vaulttask.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            hdiutilAttachDidTerminate(-1, QProcess::CrashExit);
    });
    sheet->openSheet(Sheet::Progress);
    sheet->setProgressStatus(QStringLiteral("Create vault.."));
    sheet->setProgressValue(0);
    if (m_vaulttask) // not cancelled from the progress sheet already
        m_vaulttask->launch();
}

void Controler::outPipeDataAvailable()
{
    if (!m_vaulttask)
        return;
    const QByteArray chunk = m_vaulttask->readAllStandardOutput();
    if (chunk.isEmpty())
        return;
    if (const std::optional<double> value = progressFromChunk(QString::fromUtf8(chunk)))
        m_services.sheet->setProgressValue(*value);
}

void Controler::hdiutilAttachDidTerminate(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (!m_vaulttask)
        return;
    // The task may be the sender of this very call: let it go once the call has returned.
    DiskImageTask* task = m_vaulttask.release();
    task->disconnect(this);
    const QString toolError = QString::fromUtf8(task->readAllStandardError()).trimmed();
    task->deleteLater();
    if (m_canceled) {
        removeCreationLeftovers();
        wipePassword();
        Q_EMIT creationEnded(false);
        return;
    }
    if (exitStatus == QProcess::NormalExit && exitCode == 0)
        finishCreation();
    else
        failCreation(toolError);
}

void Controler::finishCreation()
{
    CreateSheetPort* sheet = m_services.sheet;
    sheet->setProgressStatus(QStringLiteral("Mount..."));
    sheet->setProgressValue(0);
    std::unique_ptr<DiskImageTask> mount = AttachDiskImageController::hdiutilTaskWithCommand(
        QStringLiteral("mount"), std::nullopt, {QStringLiteral("-stdinpass"), m_nsFilePath});
    appendPassword(*mount);
    const bool attached = mount->runToEnd() == 0;
    if (!attached)
        qCWarning(lcApp) << "the first attach of" << m_nsFilePath
                         << "failed:" << mount->readAllStandardError();
    // The vault is still created and recorded; it just stays locked until the user unlocks it.
    sheet->setProgressStatus(attached ? QStringLiteral("Mount successed.") : QStringLiteral("Mount failed."));
    sheet->setProgressValue(100);
    // No desktop indexer writes a vault's contents outside it, so indexing needs no switch.
    sheet->setProgressStatus(QStringLiteral("Enable Spotlight.."));
    sheet->setProgressValue(0);
    sheet->setProgressValue(100);
    if (sheet->isChecked(Check::HideMountPoint)) {
        hideVolume(m_nsValueName);
        sheet->setProgressStatus(QStringLiteral("Relaunch finder.."));
    }
    sheet->closeSheet(Sheet::Progress);

    const QString recordName = Records(*m_services.settings).addVault(m_nsValueName, m_nsFilePath);
    if (sheet->isChecked(Check::Keychain))
        addItemToKeychain(m_nsFilePath, m_nsPassWord);
    if (recordName.isEmpty()) {
        refuse(QStringLiteral("Failed to create vault"),
               QStringLiteral("The vault was created at \"%1\" but could not be recorded in the settings.")
                   .arg(m_nsFilePath));
        wipePassword();
        Q_EMIT creationEnded(false);
        return;
    }
    m_services.local->post(
        NotificationNames::AddHardDisk, this,
        {{NotificationNames::DiskName, recordName}, {NotificationNames::DiskPath, m_nsFilePath}});
    clearSheet();
    sheet->dismiss();
    wipePassword();
    Q_EMIT creationEnded(true);
}

void Controler::failCreation(const QString& toolError)
{
    qCWarning(lcApp) << "creating" << m_nsFilePath << "failed:" << toolError;
    m_services.sheet->closeSheet(Sheet::Progress);
    Alert alert(QStringLiteral("Failed to create vault"), kCreateFailedText);
    alert.accessoryText = toolError;
    m_services.alerts->runAlert(alert, m_services.sheet->window());
    wipePassword();
    Q_EMIT creationEnded(false);
}

bool Controler::addItemToKeychain(const QString& path, const QString& password)
{
    return AttachDiskImageController::rememberDiskImagePassword(m_services.keychain, m_services.alerts,
                                                                m_services.sheet->window(), path, password);
}

void Controler::ClickCancelVault()
{
    if (!m_vaulttask)
        return;
    setCanceled(true);
    stopTask();
    m_services.sheet->closeSheet(Sheet::Progress);
}

void Controler::stopTask()
{
    // The tool and the engine it runs end together; the ending is then handled as a cancel.
    const qint64 pid = m_vaulttask->processId();
    if (m_vaulttask->state() != QProcess::NotRunning && pid > 0) {
        ::kill(-pid_t(pid), SIGKILL);
        {
            // Its ending is handled below, once the engine, which holds the work folder's lock
            // too, is gone as well.
            const QSignalBlocker quiet(m_vaulttask.get());
            m_vaulttask->waitForFinished(-1);
        }
        QDeadlineTimer deadline(2000);
        while (::kill(-pid_t(pid), 0) == 0 && !deadline.hasExpired())
            QThread::msleep(5);
    }
    if (m_vaulttask)
        hdiutilAttachDidTerminate(-1, QProcess::CrashExit);
}

void Controler::removeCreationLeftovers()
{
    // The tool never renamed the folder into place, so it holds nothing but the encrypted folder
    // being set up; a creation still running elsewhere keeps its own.
    ImageWorkFolder::removeAbandoned(QFileInfo(m_nsFilePath).absolutePath());
}

void Controler::CancelWindow()
{
    clearSheet();
    m_services.sheet->dismiss();
}

void Controler::clearSheet()
{
    CreateSheetPort* sheet = m_services.sheet;
    sheet->setText(Field::ValueName, QString());
    sheet->setText(Field::PassWord, QString());
    sheet->setText(Field::RepeatPassWorld, QString());
    sheet->setPasswordStatus(QString(), QColor());
    sheet->setChecked(Check::HideMountPoint, true);
    sheet->setOkEnabled(false);
}

void Controler::appendPassword(DiskImageTask& task) const
{
    // The bare password, no terminator: the tool reads to the end of its input.
    QByteArray bytes = m_nsPassWord.toUtf8();
    const SecretWipe::Guard wipe(bytes);
    task.appendStandardInput(bytes);
}

void Controler::wipePassword()
{
    SecretWipe::wipe(m_nsPassWord);
}

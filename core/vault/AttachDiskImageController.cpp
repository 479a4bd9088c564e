#include "core/vault/AttachDiskImageController.h"

#include "core/files/FileOperation.h"
#include "core/files/MakeSymbolicLink.h"
#include "core/files/SetAside.h"
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/BundleLayout.h"
#include "core/system/Logging.h"
#include "core/system/SecretWipe.h"
#include "core/vault/KeychainStore.h"
#include "core/vault/ServerVolumeMounter.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>

namespace {

const QString kPercentPrefix = QStringLiteral("PERCENT:");
const QString kMessagePrefix = QStringLiteral("MESSAGE:");
const QString kToolPrefix = QStringLiteral("hdiutil:");

// The leading integer of a text, as the tool's progress lines are read: leading white space,
// an optional sign, digits up to the first other character ("42.5" is 42); 0 when there is
// none; clamped to the int range.
int leadingInteger(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -value : value);
}

// A property-list value read as a boolean: booleans and numbers as they are, strings as
// "YES"/"true"/non-zero digits.
bool plistBool(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            return false;
        const QChar first = text.at(0).toUpper();
        return first == u'Y' || first == u'T' || leadingInteger(text) != 0;
    }
    return value.toBool();
}

} // namespace

AttachDiskImageController::AttachDiskImageController(QObject* parent) : QObject(parent) {}

AttachDiskImageController::AttachDiskImageController(const UnlockServices& services, QObject* parent)
    : QObject(parent), m_services(services)
{}

AttachDiskImageController::~AttachDiskImageController()
{
    if (m_task)
        m_task->disconnect(this);
}

std::unique_ptr<DiskImageTask> AttachDiskImageController::hdiutilTaskWithCommand(
    const QString& command, const std::optional<QString>& path, const QStringList& options,
    const std::optional<QString>& password, const std::optional<QString>& oldpassword,
    const std::optional<QString>& newpassword)
{
    auto task = std::make_unique<DiskImageTask>();
    task->setProgram(BundleLayout::diskImageToolPath());

    QStringList arguments{command};
    if (path)
        arguments << *path;
    arguments << options;
    if (password)
        arguments << QStringLiteral("-stdinpass");
    if (oldpassword)
        arguments << QStringLiteral("-oldstdinpass");
    if (newpassword)
        arguments << QStringLiteral("-newstdinpass");
    task->setArguments(arguments);

    for (const auto* secret : {&password, &oldpassword, &newpassword}) {
        if (*secret) {
            QByteArray bytes = (*secret)->toUtf8();
            const SecretWipe::Guard wipe(bytes);
            task->appendStandardInput(bytes);
            task->appendStandardInput(QByteArray(1, '\0'));
        }
    }
    return task;
}

bool AttachDiskImageController::getDiskImagePropertyList(QVariant* plist, const std::optional<QString>& path,
                                                         const QString& command,
                                                         const std::optional<QString>& password,
                                                         QString* error)
{
    Q_UNUSED(error);
    if (plist)
        *plist = QVariant();
    auto task = hdiutilTaskWithCommand(command, path, {QStringLiteral("-plist")}, password);
    const int status = task->runToEnd();
    const QByteArray output = task->readAllStandardOutput();
    if (status != 0) {
        qCInfo(lcDiskImage) << command << "failed with status" << status
                            << task->readAllStandardError().trimmed().left(500);
        return false;
    }
    const std::optional<QVariant> parsed = PropertyList::fromData(output);
    if (!parsed) {
        qCWarning(lcDiskImage) << command << "printed no property list";
        return false;
    }
    if (plist)
        *plist = *parsed;
    return true;
}

QString AttachDiskImageController::getMountPointWithDiskImage(const QString& imagePath,
                                                              const QVariant& infoPlist, QString* error)
{
    QVariant info = infoPlist;
    if (!info.isValid() &&
        !getDiskImagePropertyList(&info, std::nullopt, QStringLiteral("info"), std::nullopt, error))
        return {};

    // The tool reports canonical paths; a vault recorded through a linked folder (or with a
    // trailing slash) is still the same image.
    const QString canonicalImage = QFileInfo(imagePath).canonicalFilePath();
    const auto sameImage = [&](const QString& listed) {
        return listed == imagePath || (!canonicalImage.isEmpty() && listed == canonicalImage);
    };
    const QVariantList images = info.toMap().value(QStringLiteral("images")).toList();
    for (const QVariant& imageValue : images) {
        const QVariantMap image = imageValue.toMap();
        if (!sameImage(image.value(QStringLiteral("image-path")).toString()))
            continue;
        // The first entry for the image decides when it has no entities at all.
        const auto entities = image.constFind(QStringLiteral("system-entities"));
        if (entities == image.constEnd())
            return {};
        for (const QVariant& entity : entities->toList()) {
            const QVariantMap map = entity.toMap();
            const auto mountPoint = map.constFind(QStringLiteral("mount-point"));
            if (mountPoint != map.constEnd())
                return mountPoint->toString();
        }
    }
    return {};
}

bool AttachDiskImageController::getDiskImageEncryptionStatus(bool* hasEncryption, const QString& path,
                                                             QString* error)
{
    QVariant plist;
    if (!getDiskImagePropertyList(&plist, path, QStringLiteral("isencrypted"), std::nullopt, error))
        return false;
    const QVariantMap map = plist.toMap();
    const auto encrypted = map.constFind(QStringLiteral("encrypted"));
    if (encrypted == map.constEnd())
        return false;
    if (hasEncryption)
        *hasEncryption = plistBool(*encrypted);
    return true;
}

bool AttachDiskImageController::getDiskImageSLAStatus(bool* hasLicence, const QString& path,
                                                      const std::optional<QString>& password, QString* error)
{
    QVariant plist;
    if (!getDiskImagePropertyList(&plist, path, QStringLiteral("imageinfo"), password, error))
        return false;
    const QVariantMap properties = plist.toMap().value(QStringLiteral("Properties")).toMap();
    const auto licence = properties.constFind(QStringLiteral("Software License Agreement"));
    if (licence != properties.constEnd()) {
        if (hasLicence)
            *hasLicence = plistBool(*licence);
        return true;
    }
    return !(error && !error->isEmpty());
}

bool AttachDiskImageController::realMountDiskImageAtPath(const QString& path, const QStringList& options,
                                                         const QString& password, QString* error)
{
    if (m_task && m_task->state() != QProcess::NotRunning) {
        qCWarning(lcDiskImage) << "an attach is already running on this runner";
        return false;
    }

    m_attachFailure.clear();
    bool hasLicence = false;
    if (!getDiskImageSLAStatus(&hasLicence, path, password, error))
        return false;

    QStringList mountOptions{QStringLiteral("-plist"), QStringLiteral("-puppetstrings")};
    mountOptions << options;
    auto task = hdiutilTaskWithCommand(QStringLiteral("mount"), path, mountOptions, password);
    if (hasLicence)
        task->appendStandardInput(QByteArray("Y\n\0", 3));

    DiskImageTask* running = task.get();
    connect(running, &QProcess::readyReadStandardOutput, this,
            [this, running] { processStandardOutput(running->readAllStandardOutput()); });
    connect(running, &QProcess::readyReadStandardError, this,
            [this, running] { processStandardError(running->readAllStandardError()); });
    connect(running, &QProcess::finished, this, &AttachDiskImageController::hdiutilAttachDidTerminate);
    connect(running, &QProcess::errorOccurred, this, [this](QProcess::ProcessError processError) {
        if (processError == QProcess::FailedToStart)
            hdiutilAttachDidTerminate();
    });

    m_stdoutBuffer.clear();
    m_stderrBuffer.clear();
    m_isOver = false;
    m_isError = false;
    setTask(std::move(task));

    QEventLoop loop;
    connect(this, &AttachDiskImageController::attachEnded, &loop, &QEventLoop::quit);
    running->launch();
    if (!m_isOver)
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    // Whatever the tool wrote just before it ended.
    processStandardOutput(running->readAllStandardOutput());
    processStandardError(running->readAllStandardError());

    if (running->error() == QProcess::FailedToStart) {
        qCWarning(lcDiskImage) << "could not start the disk-image tool" << running->program()
                               << running->errorString();
        return false;
    }
    const bool attached = running->exitStatus() == QProcess::NormalExit && running->exitCode() == 0;
    if (!attached) {
        qCInfo(lcDiskImage) << "attach of" << path << "failed with status" << running->exitCode();
        if (m_isError && !m_errorMessage.contains(QLatin1String("Authentication error")))
            m_attachFailure = m_errorMessage.trimmed();
    }
    return attached;
}

void AttachDiskImageController::processStandardOutput(const QByteArray& chunk)
{
    for (auto message = m_stdoutBuffer.parseNextMessage(chunk); message;
         message = m_stdoutBuffer.parseNextMessage()) {
        if (message->startsWith(kPercentPrefix)) {
            const int percent = leadingInteger(QStringView(*message).mid(kPercentPrefix.size()));
            if (percent >= 1)
                setMessage(QString::asprintf("%d%%", percent));
        } else if (message->startsWith(kMessagePrefix)) {
            setMessage(message->mid(kMessagePrefix.size()));
        } else if (message->startsWith(kToolPrefix)) {
            setMessage(message->mid(kToolPrefix.size()));
        }
    }
}

void AttachDiskImageController::processStandardError(const QByteArray& chunk)
{
    for (auto message = m_stderrBuffer.parseNextMessage(chunk); message;
         message = m_stderrBuffer.parseNextMessage()) {
        if (message->startsWith(kToolPrefix))
            message->remove(0, kToolPrefix.size());
        m_isError = true;
        setErrorMessage(*message);
    }
}

void AttachDiskImageController::hdiutilAttachDidTerminate()
{
    m_isOver = true;
    Q_EMIT attachEnded();
}

void AttachDiskImageController::setTask(std::unique_ptr<DiskImageTask> task)
{
    if (m_task)
        m_task->disconnect(this);
    m_task = std::move(task);
}

void AttachDiskImageController::setMessage(const QString& message)
{
    if (m_message == message)
        return;
    m_message = message;
    Q_EMIT messageChanged(m_message);
}

void AttachDiskImageController::setErrorMessage(const QString& errorMessage)
{
    if (m_errorMessage == errorMessage)
        return;
    m_errorMessage = errorMessage;
    Q_EMIT errorMessageChanged(m_errorMessage);
}

// ---- Unlock ----------------------------------------------------------------------------------

namespace {

const QString kRememberTitle = QStringLiteral("Remember the password?");
const QString kRememberText = QStringLiteral(
    "If you select “Remember this password”,Zorvane will remember that password and stop "
    "prompting you for it every time you need to open the encrypted vault.However,if you store "
    "the passwords on your mac,anyone who has access to your mac could potentially open the vault "
    "without entering the password.Therefore, for high security reasons,it is recommended that "
    "you do not select the check box and that you always enter your password when you need to "
    "open the vault.\r\n\r\nAre you sure you want to remember the password?");

QString numberedName(const QString& name, int number)
{
    return name + QLatin1Char('_') + QString::number(number);
}

} // namespace

int AttachDiskImageController::mountDiskImageAtPath(const QString& path, const QStringList& options,
                                                    const QString& password, QString* error)
{
    Q_UNUSED(password);
    if (!mountNetworkShare(path))
        return kNotUnlocked;

    bool encrypted = false;
    if (!getDiskImageEncryptionStatus(&encrypted, path, error)) {
        qCInfo(lcUnlock) << "cannot tell whether" << path << "is encrypted";
        return kNotUnlocked;
    }
    m_mountfilepath = path;
    m_mountarrayoptions = options;
    m_realError = error;
    if (!encrypted)
        return kUnlocked;

    const auto opens = [&](const QString& candidate) {
        return realMountDiskImageAtPath(path, options, candidate, error);
    };
    if (std::optional<QString> stored = storedPasswordThat(path, opens)) {
        SecretWipe::wipe(stored);
        m_realError = nullptr;
        // Items without a permanent link must point into the vault again, or their programs
        // would go on writing into the empty folder a lock left, outside the vault.
        dealappstore(path, false);
        return kUnlocked;
    }

    const bool entered = askForPassword(unlockPrompt(Paths::vaultNameFromImagePath(path)), true);
    m_realError = nullptr;
    return entered ? kUnlocked : kNotUnlocked;
}

std::optional<QString> AttachDiskImageController::RequirePass(const QString& path)
{
    bool encrypted = false;
    if (!getDiskImageEncryptionStatus(&encrypted, path) || !encrypted)
        return std::nullopt;

    const auto opens = [&](const QString& candidate) {
        bool hasLicence = false;
        return getDiskImageSLAStatus(&hasLicence, path, candidate);
    };
    if (auto stored = storedPasswordThat(path, opens))
        return stored;

    // Remember this image, so that "Remember this password" names the right item.
    m_mountfilepath = path;
    m_mountarrayoptions.clear();
    m_realError = nullptr;
    if (!askForPassword(unlockPrompt(requirePassPromptName(path)), false))
        return std::nullopt;
    const QString typed = m_services.panel->password();
    m_services.panel->setPassword(QString());
    return typed;
}

void AttachDiskImageController::setMountTarget(const QString& path, const QStringList& options,
                                               QString* error)
{
    m_mountfilepath = path;
    m_mountarrayoptions = options;
    m_realError = error;
}

QString AttachDiskImageController::unlockPrompt(const QString& name)
{
    return QStringLiteral("Enter password to access '%1'").arg(name);
}

QString AttachDiskImageController::imageFileName(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

QString AttachDiskImageController::requirePassPromptName(const QString& path) const
{
    return Paths::vaultNameFromImagePath(path);
}

void AttachDiskImageController::refreshSettings()
{
    if (m_services.settings)
        m_services.settings->synchronize();
}

bool AttachDiskImageController::mountNetworkShare(const QString& path)
{
    if (!m_services.settings)
        return true;
    refreshSettings();
    Records records(*m_services.settings);
    if (!records.contains(SettingsKeys::NetworkVaultItem, path))
        return true;
    const QString url = records.entry(SettingsKeys::NetworkVaultItem, path);
    if (!m_services.shares) {
        qCWarning(lcUnlock) << "no way to mount the network share" << url;
        return false;
    }

    KeychainStore::Credential credential;
    if (KeychainStore* keychain = m_services.keychain) {
        const QString account = KeychainStore::currentUserFullName();
        if (keychain->checkForExistanceOfKeychainItem(url, KeychainStore::kNetworkSharedPassword, account)) {
            QString joined =
                keychain->getPasswordFromKeychainItem(url, KeychainStore::kNetworkSharedPassword, account);
            credential = KeychainStore::splitCredential(joined);
            SecretWipe::wipe(joined);
        }
    }
    const int status = m_services.shares->mountServerVolume(url, credential.user, credential.password);
    SecretWipe::wipe(credential.password);
    if (status != 0) {
        qCInfo(lcUnlock) << "mounting the network share" << url << "failed with status" << status;
        return false;
    }
    return true;
}

std::optional<QString>
AttachDiskImageController::storedPasswordThat(const QString& path,
                                              const std::function<bool(const QString&)>& opens)
{
    std::optional<StoredPassword> stored = storedPasswordItem(path, opens);
    return stored ? std::optional<QString>(std::move(stored->password)) : std::nullopt;
}

std::optional<QString>
AttachDiskImageController::passwordItemThatOpens(const QString& path,
                                                 const std::function<bool(const QString&)>& opens)
{
    std::optional<StoredPassword> stored = storedPasswordItem(path, opens);
    if (!stored)
        return std::nullopt;
    SecretWipe::wipe(stored->password);
    return stored->itemName;
}

std::optional<AttachDiskImageController::StoredPassword>
AttachDiskImageController::storedPasswordItem(const QString& path,
                                              const std::function<bool(const QString&)>& opens)
{
    KeychainStore* keychain = m_services.keychain;
    if (!remembersPasswords() || !keychain)
        return std::nullopt;
    const QString fileName = imageFileName(path);
    const QString account = KeychainStore::currentUserFullName();
    // The numbered items are only looked at when the base item exists.
    QString name = fileName;
    for (int number = 0;
         keychain->checkForExistanceOfKeychainItem(name, KeychainStore::kDiskImagePassword, account);
         ++number) {
        QString candidate =
            keychain->getPasswordFromKeychainItem(name, KeychainStore::kDiskImagePassword, account);
        if (opens(candidate))
            return StoredPassword{name, std::move(candidate)};
        SecretWipe::wipe(candidate);
        qCInfo(lcUnlock) << "the stored password" << name << "does not open" << path;
        name = numberedName(fileName, number);
    }
    return std::nullopt;
}

bool AttachDiskImageController::askForPassword(const QString& prompt, bool forMount,
                                               const QString& explanation)
{
    PasswordPanel* panel = m_services.panel;
    if (!panel) {
        qCWarning(lcUnlock) << "no password panel to ask for" << m_mountfilepath;
        return false;
    }
    // One panel serves every controller of a program; a second prompt would take over the
    // first one's run.
    if (panel->isRunning()) {
        qCInfo(lcUnlock) << "a password panel is already open; not asking for" << m_mountfilepath;
        return false;
    }
    m_isPassForMount = forMount;
    m_iscancel = true;
    panel->setClient(this);
    panel->setPrompt(prompt);
    panel->setExplanation(explanation);
    panel->setPassword(QString());
    panel->setTip(QString(), false);
    panel->setRememberChecked(false);
    panel->setRememberVisible(remembersPasswords());
    panel->setProgressRunning(false);
    if (forMount)
        panel->placeBelowMainWindow();
    panel->runModal();
    panel->setClient(nullptr);
    // A password only collected stays until RequirePass has taken it; nothing else stays typed.
    if (forMount || m_iscancel)
        panel->setPassword(QString());
    return !m_iscancel;
}

void AttachDiskImageController::clickok()
{
    PasswordPanel* panel = m_services.panel;
    if (!panel)
        return;
    m_iscancel = false;
    panel->setTip(QString(), false);
    const QString typed = panel->password();

    if (m_isPassForMount) {
        panel->setProgressRunning(true);
        if (typed.isEmpty()) {
            panel->setProgressRunning(false);
            return;
        }
        if (!realMountDiskImageAtPath(m_mountfilepath, m_mountarrayoptions, typed, m_realError)) {
            // A password that opened the image but still no vault: the tool says why, since
            // "wrong password" would send the user after the wrong fault.
            panel->setTip(m_attachFailure.isEmpty() ? kAuthenticationFailed : m_attachFailure, true);
            panel->setProgressRunning(false);
            return;
        }
    }

    if (remembersPasswords() && panel->isRememberChecked())
        rememberPassword(typed);

    if (m_isPassForMount) {
        dealappstore(m_mountfilepath, false);
        panel->setProgressRunning(false);
        recordUnlocked(m_mountfilepath);
    }
    panel->stopModal();
}

void AttachDiskImageController::clickcancel()
{
    m_iscancel = true;
    if (m_services.panel)
        m_services.panel->stopModal();
}

void AttachDiskImageController::clickrememberpassword()
{
    PasswordPanel* panel = m_services.panel;
    if (!panel || !panel->isRememberChecked() || !m_services.alerts)
        return;
    Alert alert;
    alert.messageText = kRememberTitle;
    alert.informativeText = kRememberText;
    alert.buttons = {QStringLiteral("NO"), QStringLiteral("Yes")};
    if (m_services.alerts->runAlert(alert, panel->window()) == AlertPort::kFirstButton)
        panel->setRememberChecked(false);
}

void AttachDiskImageController::textDidChange()
{
    if (m_services.panel)
        m_services.panel->setTip(QString(), false);
}

QString AttachDiskImageController::freeKeychainItemName(KeychainStore* keychain, const QString& fileName)
{
    const QString account = KeychainStore::currentUserFullName();
    QString name = fileName;
    for (int number = 0;
         keychain->checkForExistanceOfKeychainItem(name, KeychainStore::kDiskImagePassword, account);
         ++number)
        name = numberedName(fileName, number);
    return name;
}

void AttachDiskImageController::rememberPassword(const QString& password)
{
    rememberDiskImagePassword(m_services.keychain, m_services.alerts,
                              m_services.panel ? m_services.panel->window() : nullptr, m_mountfilepath,
                              password);
}

bool AttachDiskImageController::rememberDiskImagePassword(KeychainStore* keychain, AlertPort* alerts,
                                                          QObject* window, const QString& imagePath,
                                                          const QString& password)
{
    QString reason;
    if (keychain) {
        const QString name = freeKeychainItemName(keychain, imageFileName(imagePath));
        if (keychain->addKeychainItem(name, KeychainStore::kDiskImagePassword,
                                      KeychainStore::currentUserFullName(), password))
            return true;
        reason = keychain->lastError();
    }
    // The user asked for it, so a keyring that cannot take the password must not go unnoticed.
    qCWarning(lcUnlock).noquote() << "could not remember the password of" << imagePath << reason;
    if (!alerts)
        return false;
    Alert alert;
    alert.messageText = QStringLiteral("The password could not be remembered");
    alert.informativeText =
        QStringLiteral("No keyring could store the password, so you will be asked for it again next time.");
    if (!reason.isEmpty())
        alert.informativeText += QStringLiteral("\r\n\r\n") + reason;
    alerts->runAlert(alert, window);
    return false;
}

void AttachDiskImageController::recordUnlocked(const QString& path)
{
    if (!m_services.settings)
        return;
    refreshSettings();
    Records(*m_services.settings).addStartupItem(path);
}

// ---- Items without a permanent link ------------------------------------------------------------

void AttachDiskImageController::dealappstore(const QString& imagePath, bool isLock)
{
    if (imagePath.isEmpty() || !m_services.settings)
        return;
    refreshSettings();
    const Records records(*m_services.settings);
    const QVariantMap appStoreItems = records.list(SettingsKeys::AppStoreItems);
    const QVariantMap redirectItems = records.list(SettingsKeys::RedirectItem);
    if (appStoreItems.isEmpty() || redirectItems.isEmpty())
        return;

    const QString vaultName = Paths::vaultNameFromImagePath(imagePath);
    for (auto item = redirectItems.constBegin(); item != redirectItems.constEnd(); ++item) {
        if (item.value().toString() != vaultName)
            continue;
        const auto source = appStoreItems.constFind(item.key());
        if (source == appStoreItems.constEnd() || source->toString().isEmpty())
            continue;
        const QString dataPath = QDir::cleanPath(source->toString());
        if (isLock)
            replaceLinkByFolder(dataPath);
        else
            linkIntoVault(dataPath, Paths::itemDataPath(vaultName, dataPath));
    }
}

bool AttachDiskImageController::linkIntoVault(const QString& dataPath, const QString& vaultCopy)
{
    // A link is already in place (or nothing is there at all).
    if (FileOperation::IsFileASymlnkOrAlias(dataPath) || !FileOperation::FileOrFolderIsExists(vaultCopy))
        return true;
    // An empty folder is what a lock leaves; anything else was written while the vault was
    // locked and is kept beside the link.
    QString aside;
    const bool removedEmpty = QDir().rmdir(dataPath);
    if (!removedEmpty) {
        aside = SetAside::moveAside(dataPath, dataPath);
        if (aside.isEmpty()) {
            qCWarning(lcUnlock) << "cannot set aside" << dataPath << qt_error_string(errno);
            return false;
        }
        qCInfo(lcUnlock) << "set aside" << dataPath << "as" << aside;
    }
    if (MakeSymbolicLink(dataPath, vaultCopy))
        return true;
    qCWarning(lcUnlock) << "cannot link" << dataPath << "to" << vaultCopy;
    // Leave the place as it was found.
    if (removedEmpty)
        QDir().mkdir(dataPath);
    else if (!SetAside::moveBack(aside, dataPath))
        qCWarning(lcUnlock) << "cannot put" << aside << "back at" << dataPath;
    return false;
}

void AttachDiskImageController::replaceLinkByFolder(const QString& dataPath)
{
    // Only a link (or nothing) makes way for the empty folder: real data stays where it is.
    if (QFileInfo(dataPath).isSymLink()) {
        if (!QFile::remove(dataPath)) {
            qCWarning(lcUnlock) << "cannot remove the link" << dataPath;
            return;
        }
    } else if (FileOperation::FileOrFolderIsExists(dataPath)) {
        return;
    }
    if (!QDir().mkpath(dataPath))
        qCWarning(lcUnlock) << "cannot create the folder" << dataPath;
}

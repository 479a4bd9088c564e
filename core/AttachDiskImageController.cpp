#include "core/AttachDiskImageController.h"

#include "core/BundleLayout.h"
#include "core/Logging.h"
#include "core/PropertyList.h"

#include <QEventLoop>
#include <QFileInfo>
#include <climits>

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
            bytes.append('\0');
            task->appendStandardInput(bytes);
            bytes.fill('\0');
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
    if (!attached)
        qCInfo(lcDiskImage) << "attach of" << path << "failed with status" << running->exitCode();
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

#include "core/vault/DiskImageTask.h"

#include "core/system/Logging.h"
#include "core/system/SecretWipe.h"

#include <QEventLoop>

DiskImageTask::DiskImageTask(QObject* parent) : QProcess(parent) {}

DiskImageTask::~DiskImageTask()
{
    wipeStandardInput();
    if (state() != QProcess::NotRunning) {
        kill();
        waitForFinished();
    }
}

void DiskImageTask::appendStandardInput(const QByteArray& bytes)
{
    // Grown into a new buffer by hand, so the old one is wiped rather than freed as it is.
    QByteArray grown;
    grown.reserve(m_standardInput.size() + bytes.size());
    grown.append(m_standardInput.constData(), m_standardInput.size());
    grown.append(bytes.constData(), bytes.size());
    SecretWipe::wipe(m_standardInput);
    m_standardInput = std::move(grown);
}

void DiskImageTask::wipeStandardInput()
{
    // The buffer may hold passwords: overwrite it before it is released.
    SecretWipe::wipe(m_standardInput);
}

void DiskImageTask::launch()
{
    qCDebug(lcDiskImage) << "running" << program() << arguments();
    start(QIODevice::ReadWrite);
    if (!m_standardInput.isEmpty())
        write(m_standardInput);
    wipeStandardInput();
    // Closed once the pending bytes are written: the tool sees the end of its input.
    closeWriteChannel();
}

int DiskImageTask::runToEnd()
{
    launch();
    if (!waitForStarted(-1)) {
        qCWarning(lcDiskImage) << "could not start" << program() << errorString();
        return -1;
    }
    waitForFinished(-1);
    return finalStatus();
}

int DiskImageTask::runInLocalLoop()
{
    QEventLoop loop;
    connect(this, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(this, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    launch();
    if (state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(&loop);
    if (error() == QProcess::FailedToStart) {
        qCWarning(lcDiskImage) << "could not start" << program() << errorString();
        return -1;
    }
    return finalStatus();
}

QString DiskImageTask::failureReason()
{
    const QStringList lines =
        QString::fromUtf8(readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString reason = lines.isEmpty() ? QString() : lines.constLast().trimmed();
    const QString prefix = QStringLiteral("hdiutil:");
    if (reason.startsWith(prefix)) {
        reason = reason.mid(prefix.size()).trimmed();
        const QString verb = arguments().value(0) + QLatin1Char(':');
        if (reason.startsWith(verb))
            reason = reason.mid(verb.size()).trimmed();
    }
    if (reason.isEmpty() && error() == QProcess::FailedToStart)
        reason = QStringLiteral("the disk-image tool could not be started");
    return reason;
}

int DiskImageTask::finalStatus()
{
    if (exitStatus() != QProcess::NormalExit) {
        qCWarning(lcDiskImage) << program() << arguments().value(0) << "did not exit normally";
        return -1;
    }
    return exitCode();
}

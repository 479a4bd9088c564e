#include "core/vault/DiskImageTask.h"

#include "core/system/Logging.h"

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
    m_standardInput.append(bytes);
}

void DiskImageTask::wipeStandardInput()
{
    // The buffer may hold passwords: overwrite it before it is released.
    m_standardInput.fill('\0');
    m_standardInput.clear();
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
    if (exitStatus() != QProcess::NormalExit) {
        qCWarning(lcDiskImage) << program() << arguments().value(0) << "did not exit normally";
        return -1;
    }
    return exitCode();
}

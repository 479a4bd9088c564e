#include "core/vault/VolumeEjector.h"

#include "core/system/Logging.h"
#include "core/vault/AttachDiskImageController.h"

bool VolumeEjector::unmountAndEjectDeviceAtPath(const QString& mountPoint, QString* error)
{
    auto task = AttachDiskImageController::hdiutilTaskWithCommand(QStringLiteral("detach"), mountPoint);
    const int status = task->runToEnd();
    if (status == 0)
        return true;
    const QString reason = QString::fromUtf8(task->readAllStandardError()).trimmed();
    qCInfo(lcDiskImage) << "detach of" << mountPoint << "failed:" << reason;
    if (error)
        *error = reason;
    return false;
}

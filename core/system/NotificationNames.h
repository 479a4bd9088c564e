#pragma once

#include <QString>

// Names of the notifications between the programs and inside Zorvane, and their payload keys.
namespace NotificationNames {

// Between programs: posted by Zorvane, observed by ZorvaneStatus.
inline const QString HelperQuit = QStringLiteral("Com.Tarnwick.HelperQuit");
inline const QString HelperMessage = QStringLiteral("Com.Tarnwick.HelperMessage");
inline const QString HelperPhotosMessage = QStringLiteral("Com.Tarnwick.HelperPhotosMessage");
inline const QString HelperPhotoStreamMessage = QStringLiteral("Com.Tarnwick.HelperPhotoStreamMessage");

// Inside Zorvane.
inline const QString AddHardDisk = QStringLiteral("addharddisk");
inline const QString ResizeReload = QStringLiteral("ResizeReload");
inline const QString ReadCapacity = QStringLiteral("ReadCapacity");
inline const QString GuideToUser = QStringLiteral("guidetouser");
inline const QString CloseTip = QStringLiteral("closetip");
inline const QString DisplayScanHelp = QStringLiteral("displayscanhelp");
inline const QString Reopen = QStringLiteral("reopen");

// Payload keys.
inline const QString AppName = QStringLiteral("AppName");
inline const QString DiskName = QStringLiteral("diskname");
inline const QString DiskPath = QStringLiteral("diskpath");
inline const QString DmgSize = QStringLiteral("dmgsize");
inline const QString TableIndex = QStringLiteral("tableindex");
inline const QString IsChange = QStringLiteral("ischange");

} // namespace NotificationNames

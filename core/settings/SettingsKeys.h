#pragma once

#include <QString>

// Names of the settings keys shared by the three programs. Stored files and the other
// programs rely on these exact strings.
namespace SettingsKeys {

// Record lists.
inline const QString VaultItem = QStringLiteral("vaultitem");
inline const QString RedirectItem = QStringLiteral("redirectitem");
inline const QString CustomFolderItem = QStringLiteral("customfolderitem");
inline const QString CustomFolderDescription = QStringLiteral("customfolderdescription");
inline const QString BakRedirectPath = QStringLiteral("bakredirectpath");
inline const QString AppStoreItems = QStringLiteral("appstoreitems");
inline const QString NetworkVaultItem = QStringLiteral("networkvaultitem");
inline const QString VaultsLocation = QStringLiteral("vaultslocation");
inline const QString NewLibPath = QStringLiteral("newlibpath");
inline const QString StartupItem = QStringLiteral("StartupItem");

// Switches and paths.
inline const QString StartAtLogin = QStringLiteral("StartAtLogin");
inline const QString HelperStartAtLogin = QStringLiteral("HelperStartAtLogin");
inline const QString HelperStartSet = QStringLiteral("HelperStartSet");
inline const QString CheckUpdatesAutomatically = QStringLiteral("CheckUpdatesAutomatically");
inline const QString SUEnableAutomaticChecks = QStringLiteral("SUEnableAutomaticChecks");
inline const QString SULastCheckTime = QStringLiteral("SULastCheckTime");
inline const QString EnableNotifications = QStringLiteral("EnableNotifications");
inline const QString AutoLock = QStringLiteral("AutoLock");
inline const QString MountAtStart = QStringLiteral("MountAtStart");
inline const QString PassSelf = QStringLiteral("PassSelf");
inline const QString FirstStart = QStringLiteral("FirstStart");
inline const QString TipSelf = QStringLiteral("TipSelf");
inline const QString TipDisk = QStringLiteral("TipDisk");
inline const QString TipLock = QStringLiteral("TipLock");
inline const QString TipMount = QStringLiteral("TipMount");
inline const QString HelpLock = QStringLiteral("helpLock");
inline const QString HelpScan = QStringLiteral("helpScan");
inline const QString HelpRestore = QStringLiteral("helpRestore");
inline const QString WarningText = QStringLiteral("warningText");
inline const QString WarningTextRestore = QStringLiteral("warningTextRestore");
// Our addition: a copy into a vault is also read back and compared byte for byte.
inline const QString VerifyCopyContent = QStringLiteral("VerifyCopyContent");
inline const QString ShowPhotoBooth = QStringLiteral("showPhotoBooth");
inline const QString NoMonitorVaults = QStringLiteral("nomonitorvaults");
inline const QString NoManuallyLockAttention = QStringLiteral("nomanuallylockattention");
inline const QString NoOpenVaultAttention = QStringLiteral("noopenvaultattention");
inline const QString NotFirstRunHelperApp = QStringLiteral("notfirstrunhelperapp");
inline const QString NoDealCalendarAgent = QStringLiteral("nodealcalendaragent");
inline const QString NoDealCfprefsd = QStringLiteral("nodealcfprefsd");
inline const QString NoDealMicrosoft = QStringLiteral("nodealmicrosoft");
inline const QString NoDealEvernote = QStringLiteral("nodealevernote");
inline const QString NoDealMacMail = QStringLiteral("nodealmacmail");
inline const QString NoDealMessages = QStringLiteral("nodealmessages");
inline const QString NoDealIPhoto = QStringLiteral("nodealiphoto");
inline const QString NoDealAddressBook = QStringLiteral("nodealaddressbook");
inline const QString DefaultVaultLocation = QStringLiteral("defaultvaultlocation");
inline const QString DefaultAppPath = QStringLiteral("DefaultAppPath");
inline const QString DefaultXmlPath = QStringLiteral("DefaultXmlPath");
inline const QString HelperWrited = QStringLiteral("helperWrited");

} // namespace SettingsKeys

#include "status/VaultWatch.h"

#include "core/files/FileOperation.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/system/NoticePort.h"
#include "core/vault/VaultVolume.h"
#include "status/StatusAttachDiskImageController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTitle = QStringLiteral("Zorvane");

} // namespace

VaultWatch::VaultWatch(StatusAttachDiskImageController* controller, NoticePort* notices, QObject* parent)
    : QObject(parent), m_controller(controller), m_notices(notices)
{}

void VaultWatch::start()
{
    if (m_vaultTimer)
        return;
    m_vaultTimer = new QTimer(this);
    m_vaultTimer->setInterval(kIntervalMs);
    connect(m_vaultTimer, &QTimer::timeout, this, &VaultWatch::MonitorVaults);
    m_vaultTimer->start();
    m_appStoreTimer = new QTimer(this);
    m_appStoreTimer->setInterval(kIntervalMs);
    connect(m_appStoreTimer, &QTimer::timeout, this, &VaultWatch::MonitorAppstoreItems);
    m_appStoreTimer->start();
}

QString VaultWatch::missingTitle()
{
    return QStringLiteral("Warning!");
}

QString VaultWatch::missingText(const QString& vault, const QString& folder)
{
    return QStringLiteral(
               "\r\nZorvane can't locate the vault: \"%1\", which is stored in the  %2 folder, the vault "
               "still contains your encrypted files, if you delete the vault file in careless, please "
               "move it back from the trash.\r\n\r\nThis message will only be displayed once.")
        .arg(vault, folder);
}

QString VaultWatch::unlockedVaultText(const QString& vault)
{
    return QStringLiteral("Unlocked vault: %1").arg(vault);
}

QString VaultWatch::lockedVaultText(const QString& vault)
{
    return QStringLiteral("Locked vault: %1").arg(vault);
}

bool VaultWatch::notificationsEnabled() const
{
    SettingsStore* settings = m_controller->services().settings;
    return settings && settings->boolForKey(SettingsKeys::EnableNotifications);
}

bool VaultWatch::shareIsAway(const QString& imagePath) const
{
    // The nearest folder that exists lies on the share only while the share is mounted.
    QString folder = QFileInfo(imagePath).absolutePath();
    while (!QFileInfo::exists(folder) && folder != QStringLiteral("/"))
        folder = QFileInfo(folder).absolutePath();
    return FileOperation::IsFileRemote(folder).isEmpty();
}

void VaultWatch::MonitorVaults()
{
    // Reads go through the store's cache, which notices changed files by their stamp: no
    // settings file is parsed unless it changed.
    SettingsStore* settings = m_controller->services().settings;
    if (!settings)
        return;
    const Records records(*settings);
    const QVariantMap vaults = records.list(SettingsKeys::VaultItem);
    if (vaults.isEmpty())
        return;
    QSet<QString> vaultsOfItems;
    for (const QVariant& vault : records.list(SettingsKeys::RedirectItem))
        vaultsOfItems.insert(vault.toString());
    QVariantMap networkVaults;
    for (auto vault = vaults.constBegin(); vault != vaults.constEnd(); ++vault) {
        const QString image = vault.value().toString();
        if (image.isEmpty() || !vaultsOfItems.contains(vault.key()) || QFileInfo::exists(image) ||
            m_deleteVaults.contains(image))
            continue;
        if (networkVaults.isEmpty())
            networkVaults = records.list(SettingsKeys::NetworkVaultItem);
        // A share that is not mounted now says nothing about the image on it.
        if (networkVaults.contains(image) && shareIsAway(image))
            continue;
        m_deleteVaults.append(image);
        qCInfo(lcStatus) << "the image of" << vault.key() << "is gone:" << image;
        if (m_notices && !settings->boolForKey(SettingsKeys::NoMonitorVaults) && notificationsEnabled())
            m_notices->notify(missingTitle(), missingText(vault.key(), QFileInfo(image).absolutePath()),
                              true);
    }
}

void VaultWatch::MonitorAppstoreItems()
{
    SettingsStore* settings = m_controller->services().settings;
    if (!settings)
        return;
    const QVariantMap places = Records(*settings).list(SettingsKeys::AppStoreItems);
    if (places.isEmpty())
        return;
    const QString home = QDir::cleanPath(Paths::home());
    for (const QVariant& value : places) {
        const QString place = QDir::cleanPath(value.toString());
        // A record is never trusted to name the home folder, the root or a relative path.
        if (!QDir::isAbsolutePath(place) || place == QStringLiteral("/") || place == home ||
            QFileInfo::exists(place))
            continue;
        const QByteArray path = QFile::encodeName(place);
        struct stat st;
        QString failure;
        if (::lstat(path.constData(), &st) == 0) {
            // Only a link is removed; whatever else is there and can't be seen through stays.
            if (!S_ISLNK(st.st_mode))
                continue;
            if (::unlink(path.constData()) != 0)
                failure = QStringLiteral("cannot remove the link: ") + qt_error_string(errno);
        } else if (errno != ENOENT) {
            continue;
        }
        if (failure.isEmpty() && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            failure = QStringLiteral("cannot create the folder: ") + qt_error_string(errno);
        if (failure.isEmpty()) {
            m_failedPlaces.remove(place);
        } else if (!m_failedPlaces.contains(place)) {
            m_failedPlaces.insert(place);
            qCWarning(lcStatus) << place << failure;
        }
    }
}

QString VaultWatch::vaultOfMountPoint(const QString& mountPoint) const
{
    SettingsStore* settings = m_controller->services().settings;
    if (!settings || !VaultVolume::isBelowVolumesRoot(mountPoint))
        return {};
    const QString name = QFileInfo(mountPoint).fileName();
    return Records(*settings).contains(SettingsKeys::VaultItem, name) ? name : QString();
}

void VaultWatch::didMount(const QString& mountPoint)
{
    const QString vault = vaultOfMountPoint(mountPoint);
    if (vault.isEmpty())
        return;
    m_controller->dealappstore(
        Records(*m_controller->services().settings).entry(SettingsKeys::VaultItem, vault), false);
    if (m_notices && notificationsEnabled())
        m_notices->notify(kTitle, unlockedVaultText(vault), false);
}

void VaultWatch::didUnmount(const QString& mountPoint)
{
    const QString vault = vaultOfMountPoint(mountPoint);
    if (!vault.isEmpty() && m_notices && notificationsEnabled())
        m_notices->notify(kTitle, lockedVaultText(vault), false);
}

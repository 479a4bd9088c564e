#include "core/vault/ItemRepair.h"

#include "core/files/MakeSymbolicLink.h"
#include "core/files/SetAside.h"
#include "core/files/WalkQueue.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/system/Logging.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/ItemPlace.h"

#include <QFile>
#include <sys/stat.h>

namespace {

bool lexists(const QString& path, struct stat* st = nullptr)
{
    struct stat local;
    return ::lstat(QFile::encodeName(path).constData(), st ? st : &local) == 0;
}

} // namespace

ItemRepair::ItemRepair(const Services& services)
    : m_services(services), m_safety(PathSafety::fromSettings(*services.settings))
{}

QString ItemRepair::imageOf(const QString& vaultName) const
{
    return Records(*m_services.settings).entry(SettingsKeys::VaultItem, vaultName);
}

bool ItemRepair::attached(const QString& vaultName) const
{
    return ItemPlace::vaultAttached(vaultName, imageOf(vaultName));
}

bool ItemRepair::targetExists(const QString& vaultName, const QString& target) const
{
    // Only inside the attached vault: a stale folder where it was mounted holds nothing of it.
    return attached(vaultName) && lexists(target);
}

bool ItemRepair::ensureAttached(const QString& vaultName)
{
    if (attached(vaultName))
        return true;
    if (m_unlockAttempts.contains(vaultName) || !m_services.unlocker)
        return false;
    m_unlockAttempts.insert(vaultName);
    const QString image = imageOf(vaultName);
    if (image.isEmpty() || !lexists(image))
        return false;
    if (m_services.unlocker->mountDiskImageAtPath(image) != AttachDiskImageController::kUnlocked)
        return false;
    return attached(vaultName);
}

bool ItemRepair::holdsNothing(const QString& path) const
{
    return m_services.walks
        ->runWhileWaiting(QStringLiteral("empty:") + path, path,
                          [path] { return QVariant(SetAside::holdsNothing(path)); })
        .toBool();
}

bool ItemRepair::trytorepairproblem(const QString& dataPath, const QString& vaultName, int linkFlag)
{
    ItemPlace place;
    place.dataPath = dataPath;
    place.vaultName = vaultName;
    const QString target = place.target();
    const PathSafety::Verdict verdict = PathSafety::check(dataPath, m_safety);
    if (verdict != PathSafety::Verdict::Safe || target.isEmpty()) {
        // Nothing is mounted, linked or moved for a place that must not be touched.
        qCWarning(lcItems).noquote() << "not repairing" << vaultName << dataPath << ":"
                                     << PathSafety::describe(verdict);
        return true;
    }
    return linkFlag != 0 ? repairPermanentLink(dataPath, vaultName, target)
                         : repairLinkWhileUnlocked(dataPath, vaultName, target);
}

bool ItemRepair::repairPermanentLink(const QString& dataPath, const QString& vaultName, const QString& target)
{
    struct stat st;
    if (lexists(dataPath, &st)) {
        // Any link is left alone: ours is in place, and one pointing elsewhere is not ours to replace.
        if (S_ISLNK(st.st_mode))
            return true;
        if (holdsNothing(dataPath)) {
            QString why;
            if (!m_services.trash || !m_services.trash(dataPath, &why)) {
                qCWarning(lcItems) << "cannot move" << dataPath << "to the Trash:" << why;
                return true;
            }
            return linkMissingPlace(dataPath, vaultName, target);
        }
        // Data was written at the place while the vault was locked.
        if (!ensureAttached(vaultName))
            return true;
        if (!lexists(target))
            return false;
        const quint64 inVault = m_services.walks->measureWhileWaiting(target);
        const quint64 local = m_services.walks->measureWhileWaiting(dataPath);
        if (inVault <= local)
            return false;
        const QString aside = SetAside::moveAside(dataPath, dataPath);
        if (aside.isEmpty()) {
            qCWarning(lcItems) << "cannot set aside" << dataPath;
            return true;
        }
        if (MakeSymbolicLink(dataPath, target))
            return true;
        qCWarning(lcItems) << "cannot link" << dataPath << "to" << target;
        if (!SetAside::moveBack(aside, dataPath))
            qCWarning(lcItems) << "cannot put" << aside << "back at" << dataPath;
        return true;
    }
    return linkMissingPlace(dataPath, vaultName, target);
}

bool ItemRepair::linkMissingPlace(const QString& dataPath, const QString& vaultName, const QString& target)
{
    if (!targetExists(vaultName, target)) {
        // The attached vault lacks the data: nothing to link to.
        if (attached(vaultName))
            return false;
        if (!ensureAttached(vaultName))
            return true;
        // Looked at again after the unlock: never a link to nothing.
        if (!lexists(target))
            return false;
    }
    if (!MakeSymbolicLink(dataPath, target))
        qCWarning(lcItems) << "cannot link" << dataPath << "to" << target;
    return true;
}

bool ItemRepair::repairLinkWhileUnlocked(const QString& dataPath, const QString& vaultName,
                                         const QString& target)
{
    // Locked: the place is an empty folder by design. Unlocked: it must be the link.
    if (!targetExists(vaultName, target))
        return true;
    if (!lexists(dataPath)) {
        if (!MakeSymbolicLink(dataPath, target))
            qCWarning(lcItems) << "cannot link" << dataPath << "to" << target;
        return true;
    }
    AttachDiskImageController::linkIntoVault(dataPath, target);
    return true;
}

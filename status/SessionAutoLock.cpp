#include "status/SessionAutoLock.h"

#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/Logging.h"
#include "core/system/NoticePort.h"
#include "core/vault/VaultVolume.h"
#include "status/StatusAttachDiskImageController.h"
#include "status/VaultAutoLock.h"

#include <QSet>
#include <QTimer>

SessionAutoLock::SessionAutoLock(StatusAttachDiskImageController* controller, NoticePort* notices,
                                 QObject* parent)
    : QObject(parent), m_controller(controller), m_notices(notices)
{}

void SessionAutoLock::lockAll(std::function<void()> done)
{
    const int id = m_nextId++;
    m_waiting.append({id, std::move(done)});
    m_controller->refreshSettings();
    SettingsStore* settings = m_controller->services().settings;
    const QVariant autoLock = settings ? settings->objectForKey(SettingsKeys::AutoLock) : QVariant();
    if (!settings || (autoLock.isValid() && !SettingsStore::toBool(autoLock))) {
        release(id);
        return;
    }
    const Records records(*settings);
    QSet<QString> vaults;
    for (const QVariant& vault : records.list(SettingsKeys::RedirectItem))
        vaults.insert(vault.toString());
    for (const QString& vault : std::as_const(vaults)) {
        const QString image = records.entry(SettingsKeys::VaultItem, vault);
        const auto mount = image.isEmpty() ? std::nullopt : VaultVolume::mountOfImage(image);
        if (!mount)
            continue;
        AutoLockRequest request;
        request.item = vault;
        request.vault = vault;
        request.imagePath = image;
        request.mountPoint = mount->mountPoint;
        request.steps = LockSteps{false, 1, false, false};
        VaultAutoLock* job = m_controller->lockVault(request);
        if (!job)
            continue; // being locked already
        qCInfo(lcStatus) << "the session locks: locking" << vault;
        ++m_running;
        connect(job, &VaultAutoLock::finished, this, [this, job, vault](bool locked) {
            if (!locked && m_notices) {
                const QString holders = job->holders();
                m_notices->notify(VaultAutoLock::cantLockTitle(vault),
                                  holders.isEmpty() ? VaultAutoLock::notLockedText(vault)
                                                    : VaultAutoLock::stillUsingText(holders, vault),
                                  true);
            }
            if (--m_running == 0)
                release(0);
        });
    }
    if (m_running == 0) {
        release(0);
        return;
    }
    // The computer must not wait for a lock that hangs.
    QTimer::singleShot(kSleepWaitMs, this, [this, id] { release(id); });
}

void SessionAutoLock::release(int id)
{
    QList<Waiting> ready;
    for (qsizetype i = m_waiting.size() - 1; i >= 0; --i) {
        if (id == 0 || m_waiting[i].id == id)
            ready.prepend(m_waiting.takeAt(i));
    }
    for (const Waiting& waiting : std::as_const(ready)) {
        if (waiting.done)
            waiting.done();
    }
    if (id == 0 || !ready.isEmpty())
        Q_EMIT finished();
}

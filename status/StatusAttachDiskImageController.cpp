#include "status/StatusAttachDiskImageController.h"

#include "core/settings/SettingsStore.h"

StatusAttachDiskImageController::StatusAttachDiskImageController(const UnlockServices& services,
                                                                 QObject* parent)
    : AttachDiskImageController(services, parent)
{}

QString StatusAttachDiskImageController::requirePassPromptName(const QString& path) const
{
    return imageFileName(path);
}

void StatusAttachDiskImageController::refreshSettings()
{
    // The helper reads what Zorvane persisted since; its own writes stay in its own domain.
    if (SettingsStore* settings = services().settings) {
        settings->resetStandardUserDefaults();
        settings->addSuiteNamed(SettingsStore::kZorvaneDomain);
    }
}

#pragma once

#include "core/vault/AttachDiskImageController.h"

// The helper's unlock controller. It unlocks like the main application's but never keeps vault
// passwords: it neither looks them up in the keyring nor offers "Remember this password", and
// RequirePass asks at once, naming the image file with its extension. What it records lands in
// the helper's own settings domain, read with Zorvane's domain as a suite below it.
class StatusAttachDiskImageController : public AttachDiskImageController
{
    Q_OBJECT

public:
    explicit StatusAttachDiskImageController(const UnlockServices& services, QObject* parent = nullptr);

protected:
    bool remembersPasswords() const override { return false; }
    QString requirePassPromptName(const QString& path) const override;
    void refreshSettings() override;
};

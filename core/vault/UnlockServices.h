#pragma once

class AlertPort;
class KeychainStore;
class PasswordPanel;
class ServerVolumeMounter;
class SettingsStore;

// What the unlock half of AttachDiskImageController works with. None is owned; any may be
// null: without a panel nothing is asked, without a keychain nothing is stored or looked up,
// without a share mounter a vault on a network share cannot be unlocked.
struct UnlockServices
{
    SettingsStore* settings = nullptr;
    KeychainStore* keychain = nullptr;
    ServerVolumeMounter* shares = nullptr;
    PasswordPanel* panel = nullptr;
    AlertPort* alerts = nullptr;
};

#pragma once

#include <QString>
#include <functional>

class AttachDiskImageController;
class SettingsStore;

// Locking a vault from a page of the main window, the one way both pages do it: the tool's detach
// without force; for a protected item's lock also the daemon table's holder rows and, when a fresh
// look finds no process holding files in the vault, a forced detach that is waited for and
// checked. Once the vault is gone from the mount table the app-store places become empty folders
// and "StartupItem" forgets the image (when "MountAtStart" is on). A vault that stays attached
// changes nothing.
//
// The tool runs and the daemon waits happen in local event loops that hold user input back.
class VaultLocker
{
public:
    struct Options
    {
        bool stopHolderDaemons = false; // quit the daemon table's holders and detach again
        bool forceWhenUnheld = false;   // force the detach when no process holds files in it
        bool forgetStartup = true;      // a locked vault leaves "StartupItem" (when "MountAtStart")
    };
    struct Result
    {
        bool locked = false;
        QString mountPoint;
        QString holders; // who holds files in the vault, when it stayed attached
    };

    VaultLocker(SettingsStore& settings, AttachDiskImageController& controller)
        : m_settings(settings), m_controller(controller)
    {}

    Result lock(const QString& imagePath) { return lock(imagePath, Options()); }
    Result lock(const QString& imagePath, const Options& options);
    // dealappstore, unless ZorvaneStatus runs and keeps those places itself.
    void dealappstore(const QString& imagePath, bool isLock);

    // The "Failed to lock" text of a vault that stayed attached.
    static QString failedText(const QString& vaultName, const QString& holders);

    // Test seam: runs instead of the tool's detach (force or not); true when the tool would have
    // exited 0. Null: the tool.
    using Detach = std::function<bool(const QString& mountPoint, bool force)>;
    static void setDetachSeam(Detach seam) { s_detach = std::move(seam); }

private:
    static bool detach(const QString& mountPoint, bool force);
    static QString holdersOf(const QString& mountPoint);

    SettingsStore& m_settings;
    AttachDiskImageController& m_controller;
    static inline Detach s_detach;
};

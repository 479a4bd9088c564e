#pragma once

#include <QString>

// Home-derived locations. Every one follows HOME and the XDG variables at the time of the
// call, so tests that point them at a temporary home never touch the real one.
class Paths
{
public:
    static QString home();
    static QString configHome(); // $XDG_CONFIG_HOME or ~/.config
    static QString dataHome();   // $XDG_DATA_HOME or ~/.local/share

    // Folder of the settings domain files.
    static QString settingsFolder();
    static QString settingsFile(const QString& domain);

    // Self-protection key file.
    static QString keyFile();

    // Folder under which unlocked vaults are mounted; created with mode 0700 on demand.
    static QString volumesRoot();
    static bool ensureVolumesRoot();
    // Journals of running file jobs, one file per job (see JobJournal).
    static QString jobsFolder();
    // Mount point of a vault, from its name.
    static QString mountPoint(const QString& vaultName);
    // Where a protected item's data lies inside its vault.
    static QString itemDataPath(const QString& vaultName, const QString& originalPath);
    // The vault name of an image path: last component without its extension.
    static QString vaultNameFromImagePath(const QString& imagePath);

    // Default folder for new vaults.
    static QString defaultVaultFolder();

    // A vault name must be usable as one path component.
    static bool isValidVaultName(const QString& name);
};

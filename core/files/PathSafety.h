#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;

// Whether a place named by the settings (a protected item's data path, a folder a user asks to
// protect) may be acted on at all: mounted for, linked, trashed, set aside or measured. The
// settings are a file anybody can edit, so a wrong entry must never make the program move the
// home folder, the vaults or the data inside a vault.
class PathSafety
{
public:
    enum class Verdict
    {
        Safe,
        Empty,
        Relative,
        Root,        // "/"
        HomeOrAbove, // the home folder or a folder that holds it
        VolumesRoot, // the folder vaults are mounted under, or one that holds it
        InsideVault, // data inside a mounted vault
        VaultImage,  // a vault image, something inside one, or a folder that holds one
        VaultFolder, // a folder new vaults go to, or one that holds it
    };

    // The places the check protects. Every path is compared as written and as the file system
    // resolves it, so a link in a parent folder hides nothing.
    struct Context
    {
        QString home;
        QString volumesRoot;
        QStringList vaultImages;
        QStringList vaultFolders;
    };
    // Home and volumes root from Paths; images from "vaultitem"; folders from
    // "defaultvaultlocation" and "vaultslocation".
    static Context fromSettings(const SettingsStore& settings);

    static Verdict check(const QString& path, const Context& context);
    static bool isSafe(const QString& path, const Context& context)
    {
        return check(path, context) == Verdict::Safe;
    }
    static QString describe(Verdict verdict);
};

#pragma once

#include "core/vault/MountTable.h"

#include <QList>
#include <QString>
#include <QStringList>

class SettingsStore;

// Whether a place named by the settings (a protected item's data path, a folder a user asks to
// protect) may be acted on at all: mounted for, linked, trashed, set aside or measured. The
// settings are a file anybody can edit, so a wrong entry must never make the program move the
// home folder, the vaults, the data inside a vault or the program's own files.
class PathSafety
{
public:
    enum class Verdict
    {
        Safe,
        Empty,
        Relative,
        Root,               // "/"
        HomeOrAbove,        // the home folder or a folder that holds it
        VolumesRoot,        // the folder vaults are mounted under, or one that holds it
        InsideVault,        // data inside a mounted vault
        VaultImage,         // a vault image, something inside one, or a folder that holds one
        VaultFolder,        // a folder new vaults go to, or one that holds it
        SystemFolder,       // Documents, Pictures, … of the home, and the desktop's user folders
        TrashFolder,        // a trash folder, something in one, or a folder that holds one
        SettingsFolder,     // the settings folder, a file in it, or a folder that holds it
        KeyFile,            // the self-protection key file or a folder that holds it
        ApplicationFolder,  // Zorvane.app, something in it, or a folder that holds it
        MountPoint,         // a mount point or a folder that holds one
        HoldsProtectedItem, // a folder that holds another protected item's place
    };

    // The places the check protects. Every path is compared as written and as the file system
    // resolves it, so a link in a parent folder hides nothing.
    struct Context
    {
        QString home;
        QString volumesRoot;
        QStringList vaultImages;
        QStringList vaultFolders;
        QStringList systemFolders; // refused themselves; what they hold is not
        QStringList trashFolders;
        QString settingsFolder;
        QString keyFile;
        QString applicationFolder;
        QStringList mountPoints; // as the mount table lists them
        // Data places of protected items: a folder holding one is refused (the place itself is
        // the item's own and is not).
        QStringList protectedPlaces;
    };
    // Home, volumes root, settings folder, key file, the running Zorvane.app and the user
    // folders from Paths and the desktop; images from "vaultitem"; folders from
    // "defaultvaultlocation" and "vaultslocation"; mount points and their trash folders from
    // mounts (read now when null). Protected places are the caller's to add.
    static Context fromSettings(const SettingsStore& settings, const QList<MountEntry>* mounts = nullptr);
    // The home's seven user folders by name and the desktop's (XDG) folders of those roles.
    static QStringList systemFoldersOf(const QString& home);

    static Verdict check(const QString& path, const Context& context);
    static bool isSafe(const QString& path, const Context& context)
    {
        return check(path, context) == Verdict::Safe;
    }
    static QString describe(Verdict verdict);

    // A path as every check and record should hold it: absolute, clean, without a trailing "/",
    // "." or "..", with links in its parent folders resolved; the last component is kept as
    // written (the item may be a link). A relative or empty path comes back cleaned only.
    static QString normalise(const QString& path);
};

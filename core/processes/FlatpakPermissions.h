#pragma once

#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <QStringList>

// What a Flatpak application's sandbox may write on the host, read from its files as the
// installation keeps them (no flatpak command): the "filesystems" of the app's metadata, then
// the overrides of the system installation and of the user's ("global" before the app's own).
// A data link into a vault works only when the sandbox can write the vaults' mount points.
class FlatpakPermissions
{
public:
    enum class Access
    {
        ReadOnly,
        ReadWrite,
    };
    // Location as written ("host", "home", "~/x", "/x", "xdg-data/x") → its access.
    using Filesystems = QMap<QString, Access>;

    struct Installations
    {
        QString system; // /var/lib/flatpak
        QString user;   // $XDG_DATA_HOME/flatpak
    };
    static Installations installations();
    // Tests point the system installation elsewhere; empty restores /var/lib/flatpak.
    static void setSystemInstallation(const QString& path);

    static Filesystems filesystems(const QString& appId, const Installations& where);
    // Applies one "filesystems=" value: "loc[:ro|:rw|:create]" adds or changes, "!loc" removes.
    static void apply(Filesystems& granted, const QString& value);
    // Whether one of the granted locations lets the sandbox write path.
    static bool canWrite(const Filesystems& granted, const QString& path, const QString& home);
    static bool canWrite(const QString& appId, const QString& path);

    // The command that gives the sandbox the access it lacks.
    static QString overrideCommand(const QString& appId, const QString& path);

    // The value of key in [section] of a key file; empty when absent or unreadable.
    static QString keyFileValue(const QString& path, QByteArrayView section, QByteArrayView key);
};

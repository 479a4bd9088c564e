#include "core/processes/FlatpakPermissions.h"

#include "core/settings/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString g_systemInstallation;

// Where a location names on the host; empty for what never covers user data (host-os, …).
QString hostPath(const QString& location, const QString& home)
{
    if (location == QLatin1String("host"))
        return QStringLiteral("/");
    if (location == QLatin1String("home") || location == QLatin1String("~"))
        return home;
    if (location.startsWith(QLatin1String("~/")))
        return home + location.mid(1);
    if (location.startsWith(QLatin1Char('/')))
        return location;
    // The sandbox's xdg names are the host's default folders, whatever the caller's environment.
    static const QList<std::pair<QLatin1String, QLatin1String>> xdg{
        {QLatin1String("xdg-config"), QLatin1String("/.config")},
        {QLatin1String("xdg-data"), QLatin1String("/.local/share")},
        {QLatin1String("xdg-cache"), QLatin1String("/.cache")},
    };
    for (const auto& [name, folder] : xdg) {
        if (location == name)
            return home + folder;
        if (location.startsWith(name + QLatin1Char('/')))
            return home + folder + location.mid(name.size());
    }
    return {};
}

bool covers(const QString& granted, const QString& path)
{
    return granted == QLatin1String("/") || path == granted || path.startsWith(granted + QLatin1Char('/'));
}

} // namespace

FlatpakPermissions::Installations FlatpakPermissions::installations()
{
    return {g_systemInstallation.isEmpty() ? QStringLiteral("/var/lib/flatpak") : g_systemInstallation,
            Paths::dataHome() + QStringLiteral("/flatpak")};
}

void FlatpakPermissions::setSystemInstallation(const QString& path)
{
    g_systemInstallation = path;
}

QString FlatpakPermissions::keyFileValue(const QString& path, QByteArrayView section, QByteArrayView key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inSection = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) {
            inSection = line.size() == section.size() + 2 && line.mid(1, section.size()) == section;
        } else if (inSection && line.startsWith(key)) {
            const QByteArray rest = line.mid(key.size()).trimmed();
            if (rest.startsWith('='))
                return QString::fromUtf8(rest.mid(1)).trimmed();
        }
    }
    return {};
}

void FlatpakPermissions::apply(Filesystems& granted, const QString& value)
{
    for (QString entry : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        entry = entry.trimmed();
        const bool remove = entry.startsWith(QLatin1Char('!'));
        if (remove)
            entry.remove(0, 1);
        Access access = Access::ReadWrite;
        static const QStringList modes{QStringLiteral("ro"), QStringLiteral("rw"), QStringLiteral("create")};
        if (const qsizetype colon = entry.lastIndexOf(QLatin1Char(':'));
            colon > 0 && modes.contains(entry.mid(colon + 1))) {
            if (entry.mid(colon + 1) == modes.first())
                access = Access::ReadOnly;
            entry.truncate(colon);
        }
        if (entry == QLatin1String("~"))
            entry = QStringLiteral("home");
        if (entry.isEmpty())
            continue;
        if (remove)
            granted.remove(entry);
        else
            granted.insert(entry, access);
    }
}

FlatpakPermissions::Filesystems FlatpakPermissions::filesystems(const QString& appId,
                                                                const Installations& where)
{
    Filesystems granted;
    if (appId.isEmpty() || appId.contains(QLatin1Char('/')) || appId.startsWith(QLatin1Char('.')))
        return granted;
    const QString metadata = QStringLiteral("/app/") + appId + QStringLiteral("/current/active/metadata");
    // A user installation of the app is the one its exported command runs first.
    QString source = where.user + metadata;
    if (!QFileInfo::exists(source))
        source = where.system + metadata;
    apply(granted, keyFileValue(source, "Context", "filesystems"));
    for (const QString& installation : {where.system, where.user})
        for (const QString& file : {QStringLiteral("global"), appId})
            apply(granted, keyFileValue(installation + QStringLiteral("/overrides/") + file, "Context",
                                        "filesystems"));
    return granted;
}

bool FlatpakPermissions::canWrite(const Filesystems& granted, const QString& path, const QString& home)
{
    const QString target = QDir::cleanPath(path);
    const QString cleanHome = QDir::cleanPath(home);
    for (auto it = granted.cbegin(); it != granted.cend(); ++it) {
        if (it.value() != Access::ReadWrite)
            continue;
        const QString place = hostPath(it.key(), cleanHome);
        if (!place.isEmpty() && covers(QDir::cleanPath(place), target))
            return true;
    }
    return false;
}

bool FlatpakPermissions::canWrite(const QString& appId, const QString& path)
{
    return canWrite(filesystems(appId, installations()), path, Paths::home());
}

QString FlatpakPermissions::overrideCommand(const QString& appId, const QString& path)
{
    QString quoted = path;
    if (path.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_./~@%+=:,-]"))))
        quoted = QLatin1Char('\'') + QString(path).replace(QLatin1String("'"), QLatin1String("'\\''")) +
                 QLatin1Char('\'');
    return QStringLiteral("flatpak override --user --filesystem=%1 %2").arg(quoted, appId);
}

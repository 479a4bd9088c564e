#include "core/files/PathSafety.h"

#include "core/settings/Paths.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace {

// The path as written and, when its parent resolves to somewhere else, as the file system sees
// it. The last component is not resolved: a protected place is normally a link.
QStringList formsOf(const QString& absolute)
{
    const QString clean = QDir::cleanPath(absolute);
    QStringList forms{clean};
    const QFileInfo info(clean);
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (!parent.isEmpty() && clean != QStringLiteral("/")) {
        const QString resolved = QDir::cleanPath(parent + QLatin1Char('/') + info.fileName());
        if (resolved != clean)
            forms.append(resolved);
    }
    return forms;
}

// A place itself may be a link (the home folder on some systems): both its written and its
// resolved form count.
QStringList placeForms(const QString& place)
{
    if (place.isEmpty() || !QDir::isAbsolutePath(place))
        return {};
    QStringList forms{QDir::cleanPath(place)};
    const QString canonical = QFileInfo(place).canonicalFilePath();
    if (!canonical.isEmpty() && canonical != forms.first())
        forms.append(canonical);
    return forms;
}

bool isInside(const QString& inner, const QString& outer)
{
    if (outer == QStringLiteral("/"))
        return inner != outer;
    return inner.startsWith(outer) && inner.size() > outer.size() &&
           inner.at(outer.size()) == QLatin1Char('/');
}

bool isSameOrAbove(const QString& path, const QString& place)
{
    return path == place || isInside(place, path);
}

} // namespace

PathSafety::Context PathSafety::fromSettings(const SettingsStore& settings, const QList<MountEntry>* mounts)
{
    Context context;
    context.home = Paths::home();
    context.volumesRoot = Paths::volumesRoot();
    for (const QVariant& image : settings.dictionaryForKey(SettingsKeys::VaultItem))
        context.vaultImages.append(image.toString());
    context.vaultFolders.append(settings.stringForKey(SettingsKeys::DefaultVaultLocation));
    for (const QVariant& folder : settings.dictionaryForKey(SettingsKeys::VaultsLocation))
        context.vaultFolders.append(folder.toString());
    context.vaultFolders.removeAll(QString());
    context.systemFolders = systemFoldersOf(context.home);
    context.settingsFolder = Paths::settingsFolder();
    context.keyFile = Paths::keyFile();
    // Only a real application folder: a program run from a build tree has none.
    const QString bundle = BundleLayout::mainBundlePath();
    if (QFileInfo(bundle).fileName() == QStringLiteral("Zorvane.app"))
        context.applicationFolder = bundle;
    context.trashFolders = placeForms(Paths::dataHome() + QStringLiteral("/Trash"));
    const QString uid = QString::number(::geteuid());
    const QList<MountEntry> table = mounts ? *mounts : MountTable::read();
    for (const MountEntry& mount : table) {
        if (mount.mountPoint.isEmpty())
            continue;
        context.mountPoints.append(mount.mountPoint);
        const QString top = mount.mountPoint == QStringLiteral("/") ? QString() : mount.mountPoint;
        context.trashFolders << top + QStringLiteral("/.Trash") << top + QStringLiteral("/.Trash-") + uid;
    }
    return context;
}

QStringList PathSafety::systemFoldersOf(const QString& home)
{
    QStringList folders;
    for (const char* name : {"Documents", "Movies", "Pictures", "Downloads", "Public", "Music", "Desktop"})
        folders.append(QDir::cleanPath(home + QLatin1Char('/') + QLatin1String(name)));
    // The desktop's own names for the same roles (user-dirs.dirs); one set to the home itself
    // means the role is switched off.
    for (const QStandardPaths::StandardLocation role :
         {QStandardPaths::DocumentsLocation, QStandardPaths::MoviesLocation, QStandardPaths::PicturesLocation,
          QStandardPaths::DownloadLocation, QStandardPaths::PublicShareLocation,
          QStandardPaths::MusicLocation, QStandardPaths::DesktopLocation}) {
        const QString folder = QDir::cleanPath(QStandardPaths::writableLocation(role));
        if (!folder.isEmpty() && QDir::isAbsolutePath(folder) && folder != QDir::cleanPath(home) &&
            !folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

PathSafety::Verdict PathSafety::check(const QString& path, const Context& context)
{
    if (path.isEmpty())
        return Verdict::Empty;
    if (!QDir::isAbsolutePath(path))
        return Verdict::Relative;
    const auto sameOrAboveAny = [](const QString& form, const QString& place) {
        for (const QString& placeForm : placeForms(place))
            if (isSameOrAbove(form, placeForm))
                return true;
        return false;
    };
    const auto touchesAny = [](const QString& form, const QString& place) {
        for (const QString& placeForm : placeForms(place))
            if (isSameOrAbove(form, placeForm) || isInside(form, placeForm))
                return true;
        return false;
    };
    for (const QString& form : formsOf(path)) {
        if (form == QStringLiteral("/"))
            return Verdict::Root;
        if (sameOrAboveAny(form, context.home))
            return Verdict::HomeOrAbove;
        for (const QString& root : placeForms(context.volumesRoot)) {
            if (isSameOrAbove(form, root))
                return Verdict::VolumesRoot;
            if (isInside(form, root))
                return Verdict::InsideVault;
        }
        for (const QString& image : context.vaultImages)
            if (touchesAny(form, image))
                return Verdict::VaultImage;
        for (const QString& folder : context.vaultFolders)
            if (sameOrAboveAny(form, folder))
                return Verdict::VaultFolder;
        for (const QString& folder : context.systemFolders)
            for (const QString& folderForm : placeForms(folder))
                if (form == folderForm)
                    return Verdict::SystemFolder;
        // Trash folders and mount points are listed resolved (the mount table's are).
        for (const QString& trash : context.trashFolders)
            if (isSameOrAbove(form, trash) || isInside(form, trash))
                return Verdict::TrashFolder;
        if (touchesAny(form, context.settingsFolder))
            return Verdict::SettingsFolder;
        if (sameOrAboveAny(form, context.keyFile))
            return Verdict::KeyFile;
        if (touchesAny(form, context.applicationFolder))
            return Verdict::ApplicationFolder;
        for (const QString& mountPoint : context.mountPoints)
            if (isSameOrAbove(form, mountPoint))
                return Verdict::MountPoint;
        for (const QString& place : context.protectedPlaces)
            for (const QString& placeForm : placeForms(place))
                if (isInside(placeForm, form))
                    return Verdict::HoldsProtectedItem;
    }
    return Verdict::Safe;
}

QString PathSafety::normalise(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    if (trimmed == QStringLiteral("/"))
        return trimmed;
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    const QString last = trimmed.mid(slash + 1);
    // "." and ".." name a folder through its parent: the whole path is the kernel's to resolve.
    if (last == QStringLiteral(".") || last == QStringLiteral("..")) {
        const QString canonical = QFileInfo(trimmed).canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(trimmed) : canonical;
    }
    // The parent as written: ".." after a link climbs from the link's target, as the kernel does.
    const QString parent =
        QFileInfo(slash == 0 ? QStringLiteral("/") : trimmed.left(slash)).canonicalFilePath();
    if (parent.isEmpty())
        return QDir::cleanPath(trimmed);
    return parent == QStringLiteral("/") ? QLatin1Char('/') + last : parent + QLatin1Char('/') + last;
}

QString PathSafety::describe(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Safe:
        return QStringLiteral("safe");
    case Verdict::Empty:
        return QStringLiteral("no path");
    case Verdict::Relative:
        return QStringLiteral("a relative path");
    case Verdict::Root:
        return QStringLiteral("the root folder");
    case Verdict::HomeOrAbove:
        return QStringLiteral("the home folder or a folder above it");
    case Verdict::VolumesRoot:
        return QStringLiteral("the vaults' volumes folder or a folder above it");
    case Verdict::InsideVault:
        return QStringLiteral("inside a vault");
    case Verdict::VaultImage:
        return QStringLiteral("a vault image or a folder holding one");
    case Verdict::VaultFolder:
        return QStringLiteral("a vault folder or a folder above it");
    case Verdict::SystemFolder:
        return QStringLiteral("a system folder");
    case Verdict::TrashFolder:
        return QStringLiteral("a trash folder, part of one or a folder holding one");
    case Verdict::SettingsFolder:
        return QStringLiteral("Zorvane's settings folder, part of it or a folder holding it");
    case Verdict::KeyFile:
        return QStringLiteral("Zorvane's key file or a folder holding it");
    case Verdict::ApplicationFolder:
        return QStringLiteral("Zorvane itself, part of it or a folder holding it");
    case Verdict::MountPoint:
        return QStringLiteral("a mounted disk or a folder holding one");
    case Verdict::HoldsProtectedItem:
        return QStringLiteral("a folder holding a protected item");
    }
    return {};
}

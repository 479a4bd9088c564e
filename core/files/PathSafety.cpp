#include "core/files/PathSafety.h"

#include "core/settings/Paths.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

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

PathSafety::Context PathSafety::fromSettings(const SettingsStore& settings)
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
    return context;
}

PathSafety::Verdict PathSafety::check(const QString& path, const Context& context)
{
    if (path.isEmpty())
        return Verdict::Empty;
    if (!QDir::isAbsolutePath(path))
        return Verdict::Relative;
    for (const QString& form : formsOf(path)) {
        if (form == QStringLiteral("/"))
            return Verdict::Root;
        for (const QString& home : placeForms(context.home))
            if (isSameOrAbove(form, home))
                return Verdict::HomeOrAbove;
        for (const QString& root : placeForms(context.volumesRoot)) {
            if (isSameOrAbove(form, root))
                return Verdict::VolumesRoot;
            if (isInside(form, root))
                return Verdict::InsideVault;
        }
        for (const QString& image : context.vaultImages)
            for (const QString& imageForm : placeForms(image))
                if (isSameOrAbove(form, imageForm) || isInside(form, imageForm))
                    return Verdict::VaultImage;
        for (const QString& folder : context.vaultFolders)
            for (const QString& folderForm : placeForms(folder))
                if (isSameOrAbove(form, folderForm))
                    return Verdict::VaultFolder;
    }
    return Verdict::Safe;
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
    }
    return {};
}

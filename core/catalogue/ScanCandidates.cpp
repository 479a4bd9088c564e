#include "core/catalogue/ScanCandidates.h"

#include "core/catalogue/Datafile.h"
#include "core/files/FileOperation.h"
#include "core/files/PathSafety.h"
#include "core/processes/FlatpakPermissions.h"
#include "core/processes/FlatpakSandbox.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/GetSystemVersion.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

bool atLeast(const QString& version, const char* wanted)
{
    return GetSystemVersion::compareVersions(version, QString::fromLatin1(wanted)) >= 0;
}

// Names the catalogue of another system holds, kept out as that system's scan keeps them out.
bool skippedOnThisVersion(const CatalogueEntry& entry, const QString& version, const SettingsStore& settings)
{
    const QString& name = entry.name;
    if (atLeast(version, "10.8") && name == QLatin1String("iCal"))
        return true;
    if (!atLeast(version, "10.9") && name == QLatin1String("Contacts App"))
        return true;
    if (atLeast(version, "10.9") && name == QLatin1String("Address Book"))
        return true;
    if (atLeast(version, "10.9") && name == QLatin1String("Photo Booth Lib") &&
        !settings.boolForKey(SettingsKeys::ShowPhotoBooth))
        return true;
    return !atLeast(version, "10.6") && entry.uiFlag() == 0;
}

} // namespace

bool ScanCandidates::placeOffered(const QString& dataPath, const QString& home, bool safeByChecks)
{
    if (!safeByChecks || dataPath.isEmpty())
        return false;
    const QString realHome = QFileInfo(home).canonicalFilePath();
    const QString real = QFileInfo(dataPath).canonicalFilePath();
    if (realHome.isEmpty() || real.isEmpty())
        return false;
    return real.startsWith(realHome + QLatin1Char('/'));
}

QString ScanCandidates::sharedLastComponent(const QStringList& dataPaths)
{
    QSet<QString> seen;
    for (const QString& path : dataPaths) {
        const QString last = QFileInfo(QDir::cleanPath(path)).fileName();
        if (seen.contains(last))
            return last;
        seen.insert(last);
    }
    return {};
}

void ScanCandidates::checkSandbox(ScanCandidate& candidate, const QString& writtenPath, const QString& home,
                                  const QString& volumesRoot)
{
    if (const QString id = FlatpakSandbox::sandboxOfData(writtenPath, home); !id.isEmpty()) {
        if (!FlatpakPermissions::canWrite(id, volumesRoot)) {
            candidate.sandboxNote = kSandboxNote;
            candidate.sandboxHint = FlatpakPermissions::overrideCommand(id, volumesRoot);
        }
    } else if (QDir::cleanPath(writtenPath).startsWith(QDir::cleanPath(home) + QStringLiteral("/snap/"))) {
        // A snap's confinement has no user-grantable access to the vaults' mount points.
        candidate.sandboxNote = kSandboxNote;
    }
}

QList<ScanCandidate> ScanCandidates::find(const QList<CatalogueEntry>& entries, SettingsStore& settings,
                                          const QString& osVersion)
{
    const Records records(settings);
    PathSafety::Context context = PathSafety::fromSettings(settings);
    const QVariantMap protectedItems = records.list(SettingsKeys::RedirectItem);
    for (const CatalogueEntry& entry : entries)
        if (protectedItems.contains(entry.name))
            context.protectedPlaces.append(Datafile::DealLibPath(entry.libpath, settings));
    const QString home = Paths::home();

    QList<ScanCandidate> found;
    bool photoBoothSeen = false;
    for (const CatalogueEntry& entry : entries) {
        if (skippedOnThisVersion(entry, osVersion, settings))
            continue;
        if (protectedItems.contains(entry.name))
            continue;
        // The link tests see the path as the catalogue names it: normalising resolves the parents.
        const QString written = QDir::cleanPath(Datafile::DealLibPath(entry.libpath, settings));
        if (!FileOperation::FileOrFolderIsExists(written) || FileOperation::IsFileASymlnkOrAlias(written) ||
            FileOperation::IsFileASymlnkOrAlias(QFileInfo(written).path()))
            continue;
        const QString dataPath = PathSafety::normalise(written);
        if (entry.name == QLatin1String("Photo Booth")) {
            if (photoBoothSeen)
                continue;
            photoBoothSeen = true;
        }
        if (!placeOffered(dataPath, home, PathSafety::isSafe(dataPath, context)))
            continue;
        ScanCandidate candidate{entry.name, dataPath, entry.infor, {}, {}};
        checkSandbox(candidate, written, home, Paths::volumesRoot());
        found.append(candidate);
    }
    return found;
}

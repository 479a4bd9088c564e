#pragma once

#include "core/catalogue/CatalogueEntry.h"

#include <QList>
#include <QString>

class SettingsStore;

// One application the scan may offer, before its size is known.
struct ScanCandidate
{
    QString name;
    QString dataPath;
    QString description;
    // Set for sandboxed data the sandbox could not reach once it is a link into a vault: the row
    // is shown but cannot be ticked. The hint says how to give the sandbox that access, if any.
    QString sandboxNote;
    QString sandboxHint;
    bool tickable() const { return sandboxNote.isEmpty(); }
};

// The catalogue's applications whose data is here and not yet protected, in catalogue order.
// What is never offered: data already behind a link (the place or its folder), an application
// recorded as protected (whatever its link kind: its place may hold a folder its program made
// again), and a place that is not plainly the user's own data (outside the home once links are
// resolved, the home itself, or anything the protect checks refuse). Sizes come later, off the
// window's thread; a size of 0 is not offered either.
class ScanCandidates
{
public:
    static QList<ScanCandidate> find(const QList<CatalogueEntry>& entries, SettingsStore& settings,
                                     const QString& osVersion);
    // Whether the place is the user's own data that may be protected (see above).
    static bool placeOffered(const QString& dataPath, const QString& home, bool safeByChecks);
    // The last component two of the places share, empty when none do: their copies would land on
    // one path of a vault.
    static QString sharedLastComponent(const QStringList& dataPaths);
    // Fills the sandbox note of data inside a Flatpak or Snap sandbox (see ScanCandidate).
    static void checkSandbox(ScanCandidate& candidate, const QString& writtenPath, const QString& home,
                             const QString& volumesRoot);

    static inline const QString kSandboxNote =
        QStringLiteral("Its sandbox can't follow a link into the vault");
};

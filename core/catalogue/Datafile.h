#pragma once

#include <QString>
#include <functional>

class SettingsStore;

// Turns a catalogue "libpath" (or any path) into a usable path.
class Datafile
{
public:
    static inline const QString kHomePlaceholder = QStringLiteral("$homelib");

    // Where a photo application keeps the library of the given bundle name ("iPhoto Library",
    // …), or an empty string when it is not known. Linux has no such preference, so callers
    // pass none and the stored or substituted path is used.
    using LibraryLocator = std::function<QString(const QString& bundleName)>;

    // The first "$homelib" replaced by the home folder; a path without it is returned as is.
    static QString DealLibPath(const QString& path);
    // The same, but a photo library bundle resolves first to its recorded location under
    // "newlibpath", then to what the locator reports (recorded on success). Never fails.
    static QString DealLibPath(const QString& path, SettingsStore& settings,
                               const LibraryLocator& locator = {});

    static bool isPhotoLibraryName(const QString& bundleName);
};

#pragma once

#include <QString>

// Paths inside the application folder (Zorvane.app/Contents/...). The folder is found from
// the running executable; tests may point it, or the disk-image tool, elsewhere.
class BundleLayout
{
public:
    // The .app folder holding the running executable (…/X.app for …/X.app/Contents/bin/X).
    static QString ownBundlePath();
    // The Zorvane.app folder: the nearest enclosing folder named Zorvane.app, or the own bundle.
    static QString mainBundlePath();
    static QString bundlePathForExecutable(const QString& executablePath);
    static QString executableOfBundle(const QString& bundlePath);

    static QString resourcesPath();         // Zorvane.app/Contents/Resources
    static QString statusBundlePath();      // …/Resources/ZorvaneStatus.app
    static QString uninstallerBundlePath(); // …/Resources/ZorvaneUninstaller.app
    static QString catalogueResourcePath(); // …/Resources/data.xml

    static QString diskImageToolPath();
    static void setDiskImageToolPath(const QString& path); // empty restores the default
    // Tests that run outside the application folder point the main bundle at the built one.
    static void setMainBundlePath(const QString& path); // empty restores the default
};

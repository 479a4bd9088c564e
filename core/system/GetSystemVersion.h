#pragma once

#include <QString>

// The operating-system version text by which behaviour that differs between releases is
// chosen. It is read from System/Library/CoreServices/SystemVersion.plist under the system
// root; without that file (as on Linux) the version is "10.9".
class GetSystemVersion
{
public:
    static inline const QString kDefaultVersion = QStringLiteral("10.9");

    static QString GetMacStringVersion();

    // Compares part by part as numbers, missing parts as 0: "10.10" is newer than "10.9".
    // Negative, zero or positive as a is older than, the same as or newer than b.
    static int compareVersions(const QString& a, const QString& b);
    // Whether the running system is older than the given version.
    static bool isOlderThan(const QString& version);

    // The folder the version file is looked up under; "/" unless a test sets another.
    static QString systemRoot();
    static void setSystemRoot(const QString& root); // empty restores "/"
    static QString versionFilePath();
};

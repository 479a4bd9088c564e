#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

// One application of the application catalogue: the attributes of one "app" element.
struct CatalogueEntry
{
    QString name;        // display name and identity, compared exactly
    QString processname; // process names, alternatives separated by "|"
    QString libpath;     // data location, may hold "$homelib"
    QString apppath;     // installed application, alternatives separated by "|"
    QString issymlink;   // integer text: non-zero keeps a permanent link
    QString isui;        // integer text: 0 marks processes without a user interface
    QString infor;       // what is protected, for dialogs and the scan list

    static CatalogueEntry fromAttributes(const QVariantMap& attributes);
    QVariantMap toAttributes() const;

    int symlinkFlag() const { return intValue(issymlink); }
    int uiFlag() const { return intValue(isui); }
    QStringList processNames() const;
    QStringList appPaths() const;
    // The first alternative of "apppath" that exists, or an empty string.
    QString existingAppPath() const;
    // Whether a running process of this name belongs to the entry (case-insensitive).
    bool matchesProcessName(const QString& processName) const;

    // Integer conversion of a text as the catalogue reads it: leading blanks, an optional
    // sign and digits; anything else, or nothing, reads as 0.
    static int intValue(const QString& text);

    bool operator==(const CatalogueEntry&) const = default;
};

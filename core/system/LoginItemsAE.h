#pragma once

#include "core/system/AutostartEntry.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QVariantList>

// The user's login items as XDG autostart entries in $XDG_CONFIG_HOME/autostart, one file per
// item. Items are listed in file-name order; an item's index is its position in that list.
// Files that are not well-formed entries, and entries the session treats as deleted
// (Hidden=true), are not items and are never touched.
//
// The LIAE functions return error codes (0 for success) that the path-keyed registry turns
// into results; the name-keyed LoginItems uses the folder operations directly.
class LoginItemsAE
{
public:
    enum Error : long
    {
        NoError = 0,
        FileNotFound = -43,   // the item to add does not exist
        IoError = -36,        // the folder could not be read or an entry not written or removed
        NoSuchObject = -1728, // index out of range
    };

    struct Item
    {
        QString filePath;
        AutostartEntry entry;
    };

    static QString folder();
    // nullopt when the folder exists but cannot be read.
    static std::optional<QList<Item>> items();

    // Writes an entry into the given file, or into a new file of its own when none is given.
    // The program run is the executable inside an .app folder, otherwise the path itself.
    static long writeItem(const QString& displayName, const QString& itemPath, bool hidden,
                          const QString& replacedFile = {});
    static long removeItem(const Item& item);

    static QString programForItemPath(const QString& itemPath);
    static QUrl normalizedUrl(const QUrl& url);

    // Dictionaries with "URL" (file URL of the item) and "Hidden" (bool); items stays as it
    // was unless the result is NoError.
    static long LIAECopyLoginItems(QVariantList* items);
    // Adds the existing file or folder at path as a login item named after it.
    static long LIAEAddRefAtEnd(const QString& path, bool hideIt);
    static long LIAEAddURLAtEnd(const QUrl& url, bool hideIt);
    static long LIAERemove(qsizetype index);
};

#pragma once

#include <QString>
#include <QUrl>
#include <QVariantList>
#include <optional>

// Login items by path, on the same autostart folder as LoginItems. Each item is a dictionary
// with "URL" (file URL) and "Hidden" (bool); indexes are positions in allLoginItems().
class LoginItemRegistry
{
public:
    static std::optional<QVariantList> allLoginItems();
    static bool addLoginItemWithURL(const QUrl& url, bool hideIt);
    static bool addLoginItemWithPath(const QString& path, bool hideIt);
    static bool removeLoginItemAtIndex(qsizetype index);
    // Index of the first item whose URL is the given one, or -1.
    static qsizetype indexForLoginItemWithURL(const QUrl& url);
    static qsizetype indexForLoginItemWithPath(const QString& path);
    // False when no item has the URL.
    static bool removeLoginItemWithURL(const QUrl& url);
    static bool removeLoginItemWithPath(const QString& path);
};

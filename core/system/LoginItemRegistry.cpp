#include "core/system/LoginItemRegistry.h"

#include "core/system/Logging.h"
#include "core/system/LoginItemsAE.h"

#include <QFileInfo>

std::optional<QVariantList> LoginItemRegistry::allLoginItems()
{
    QVariantList items;
    if (const long err = LoginItemsAE::LIAECopyLoginItems(&items); err != LoginItemsAE::NoError) {
        qCWarning(lcLoginItems, "Couldn't list login items error %ld", err);
        return std::nullopt;
    }
    return items;
}

bool LoginItemRegistry::addLoginItemWithURL(const QUrl& url, bool hideIt)
{
    if (const long err = LoginItemsAE::LIAEAddURLAtEnd(url, hideIt); err != LoginItemsAE::NoError) {
        qCWarning(lcLoginItems, "Couldn't add login item error %ld", err);
        return false;
    }
    return true;
}

bool LoginItemRegistry::addLoginItemWithPath(const QString& path, bool hideIt)
{
    return addLoginItemWithURL(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()), hideIt);
}

bool LoginItemRegistry::removeLoginItemAtIndex(qsizetype index)
{
    if (const long err = LoginItemsAE::LIAERemove(index); err != LoginItemsAE::NoError) {
        qCWarning(lcLoginItems, "Couldn't remove login intem error %ld", err);
        return false;
    }
    return true;
}

qsizetype LoginItemRegistry::indexForLoginItemWithURL(const QUrl& url)
{
    const auto items = allLoginItems();
    if (!items)
        return -1;
    const QUrl wanted = LoginItemsAE::normalizedUrl(url);
    for (qsizetype i = 0; i < items->size(); ++i) {
        if (LoginItemsAE::normalizedUrl(items->at(i).toMap().value(QStringLiteral("URL")).toUrl()) == wanted)
            return i;
    }
    return -1;
}

qsizetype LoginItemRegistry::indexForLoginItemWithPath(const QString& path)
{
    return indexForLoginItemWithURL(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

bool LoginItemRegistry::removeLoginItemWithURL(const QUrl& url)
{
    const qsizetype index = indexForLoginItemWithURL(url);
    return index >= 0 && removeLoginItemAtIndex(index);
}

bool LoginItemRegistry::removeLoginItemWithPath(const QString& path)
{
    return removeLoginItemWithURL(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}

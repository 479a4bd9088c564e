#include "core/system/LoginItems.h"

#include "core/system/Logging.h"
#include "core/system/LoginItemsAE.h"

LoginItems& LoginItems::sharedLoginItems()
{
    // No state: the autostart folder is looked up on every call.
    static LoginItems instance;
    return instance;
}

bool LoginItems::addItemWithDisplayName(const QString& displayName, const QUrl& url, bool hidden)
{
    if (displayName.isEmpty() || !url.isLocalFile() || url.toLocalFile().isEmpty())
        return false;
    const auto items = LoginItemsAE::items();
    if (!items)
        return false;
    QString replaced;
    for (const LoginItemsAE::Item& item : *items) {
        if (item.entry.ours && item.entry.name == displayName) {
            replaced = item.filePath;
            break;
        }
    }
    return LoginItemsAE::writeItem(displayName, url.toLocalFile(), hidden, replaced) == LoginItemsAE::NoError;
}

bool LoginItems::removeItemWithDisplayName(const QString& displayName)
{
    const auto items = LoginItemsAE::items();
    if (!items)
        return false;
    for (const LoginItemsAE::Item& item : *items) {
        if (item.entry.name == displayName)
            return LoginItemsAE::removeItem(item) == LoginItemsAE::NoError;
    }
    return true;
}

bool LoginItems::hasItemWithDisplayName(const QString& displayName)
{
    const auto items = LoginItemsAE::items();
    if (!items)
        return false;
    return std::any_of(items->cbegin(), items->cend(),
                       [&](const LoginItemsAE::Item& item) { return item.entry.name == displayName; });
}

bool LoginItems::removeOwnItemsWithDisplayName(const QString& displayName)
{
    const auto items = LoginItemsAE::items();
    if (!items)
        return false;
    for (const LoginItemsAE::Item& item : *items) {
        if (item.entry.ours && item.entry.name == displayName &&
            LoginItemsAE::removeItem(item) != LoginItemsAE::NoError)
            qCWarning(lcLoginItems) << "cannot remove" << item.filePath;
    }
    const auto after = LoginItemsAE::items();
    return after && std::none_of(after->cbegin(), after->cend(), [&](const LoginItemsAE::Item& item) {
               return item.entry.ours && item.entry.name == displayName;
           });
}

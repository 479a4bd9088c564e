#pragma once

#include <QUrl>

// The vendor's pages the programs open. The uninstaller needs its page without the main
// application's controller, so the addresses live here.
namespace HelpAddresses {
inline QUrl features()
{
    return QUrl(QStringLiteral("https://www.tarnwick.com/zorvane/features.html"));
}
inline QUrl faq()
{
    return QUrl(QStringLiteral("https://www.tarnwick.com/zorvane/faq.html"));
}
inline QUrl uninstall()
{
    return QUrl(QStringLiteral("https://www.tarnwick.com/zorvane/uninstall.html"));
}
inline QUrl feedback()
{
    return QUrl(QStringLiteral("mailto:support@tarnwick.com?subject=Zorvane%20Feedback"));
}
} // namespace HelpAddresses

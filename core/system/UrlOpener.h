#pragma once

#include <QUrl>

// Opens a web page or mail address with the user's preferred application.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    virtual bool openUrl(const QUrl& url) = 0;
};

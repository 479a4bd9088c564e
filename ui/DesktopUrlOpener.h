#pragma once

#include "core/UrlOpener.h"

class DesktopUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QUrl& url) override;
};

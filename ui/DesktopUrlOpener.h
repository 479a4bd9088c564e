#pragma once

#include "core/system/UrlOpener.h"

class DesktopUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QUrl& url) override;
};

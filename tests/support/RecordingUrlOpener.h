#pragma once

#include "core/system/UrlOpener.h"

#include <QList>

// Records the addresses it is asked to open.
class RecordingUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QUrl& url) override
    {
        opened.append(url);
        return true;
    }
    QList<QUrl> opened;
};

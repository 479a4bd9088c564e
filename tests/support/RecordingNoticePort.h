#pragma once

#include "core/system/NoticePort.h"

#include <QList>

// Keeps every notice shown.
class RecordingNoticePort : public NoticePort
{
public:
    struct Notice
    {
        QString title;
        QString text;
        bool sticky;
    };
    void notify(const QString& title, const QString& text, bool sticky) override
    {
        notices.append({title, text, sticky});
    }
    QStringList texts() const
    {
        QStringList result;
        for (const Notice& notice : notices)
            result.append(notice.text);
        return result;
    }
    QList<Notice> notices;
};

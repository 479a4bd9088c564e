#pragma once

#include <QString>

// Notification bubbles of the helper: a title, a text and whether the bubble stays until the
// user closes it. Showing one never blocks and never fails the caller; without a notification
// service nothing is shown. Whether to show a notice at all is each caller's decision.
class NoticePort
{
public:
    virtual ~NoticePort() = default;
    virtual void notify(const QString& title, const QString& text, bool sticky) = 0;
};

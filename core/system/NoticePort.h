#pragma once

#include <QString>
#include <functional>

// Notification bubbles of the helper: a title, a text and whether the bubble stays until the
// user closes it. Showing one never blocks and never fails the caller; without a notification
// service nothing is shown. Whether to show a notice at all is each caller's decision.
class NoticePort
{
public:
    virtual ~NoticePort() = default;
    virtual void notify(const QString& title, const QString& text, bool sticky) = 0;
    // Like notify, and then tells whether the service took the notice (later, from the event
    // loop, when the service has to answer first). A one-time message is marked as shown only
    // on true. A port that cannot tell counts every notice as shown.
    virtual void notifyConfirmed(const QString& title, const QString& text, bool sticky,
                                 std::function<void(bool shown)> done)
    {
        notify(title, text, sticky);
        if (done)
            done(true);
    }
};

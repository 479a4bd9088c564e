#pragma once

#include <QColor>
#include <QString>
#include <functional>

// The start-up prompt for the self-protection password: a secure field and an info line.
// runModal returns the code given to stopModal.
class SelfUnlockPanel
{
public:
    struct Actions
    {
        std::function<void()> ok;
        std::function<void()> cancel;
        std::function<void()> textChanged;
    };

    virtual ~SelfUnlockPanel() = default;
    virtual int runModal(const Actions& actions) = 0;
    virtual void stopModal(int code) = 0;
    virtual QString password() const = 0;
    virtual void setInfo(const QString& text, const QColor& color) = 0;
    virtual void hide() = 0;
};

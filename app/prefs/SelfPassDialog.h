#pragma once

#include <QColor>
#include <QString>
#include <functional>

class QObject;
class QWidget;

// The window of the self-protection password dialog: two secure fields (PassWord,
// RepeatPassWord), a status line (PassInfo) and OK (okPass). The controller decides everything;
// the window reports clicks and text changes and shows what it is told.
class SelfPassDialog
{
public:
    struct Actions
    {
        std::function<void()> ok;
        std::function<void()> cancel;
        // sender: the field whose text changed.
        std::function<void(QObject* sender)> textChanged;
    };

    virtual ~SelfPassDialog() = default;
    virtual void setActions(const Actions& actions) = 0;
    // Runs the dialog modally on parent (application-modal without one) until stopModal; its code.
    virtual int runModal(QWidget* parent) = 0;
    // Ends the run with code and closes the window.
    virtual void stopModal(int code) = 0;
    virtual QObject* passWordField() = 0;
    virtual QObject* repeatPassWordField() = 0;
    virtual QString password() const = 0;
    virtual QString repeatPassword() const = 0;
    virtual void setInfo(const QString& text, const QColor& color) = 0;
    virtual void setOkEnabled(bool enabled) = 0;
    // Empties both fields and the status line.
    virtual void clear() = 0;
    // The dialog's window, for alerts shown on it.
    virtual QObject* window() = 0;
};

#pragma once

#include <QString>

class QObject;

// What the password panel reports back: its buttons, the "Remember this password" box and
// edits of the password field. Only user actions are reported, never changes the controller
// makes itself.
class PasswordPanelClient
{
public:
    virtual ~PasswordPanelClient() = default;
    virtual void clickok() = 0;
    virtual void clickcancel() = 0;
    virtual void clickrememberpassword() = 0;
    virtual void textDidChange() = 0;
};

// The panel that asks for a vault password: a prompt, an optional explanation, a secure
// password field, a tip line under it, a "Remember this password" box and a spinning progress
// indicator. It runs modally until its client ends the run with stopModal(); it never closes
// by itself (closing the window counts as Cancel).
class PasswordPanel
{
public:
    virtual ~PasswordPanel() = default;

    // Who receives the panel's actions; set before every run, as several controllers may
    // share one panel.
    virtual void setClient(PasswordPanelClient* client) = 0;

    virtual void setPrompt(const QString& text) = 0;
    virtual void setExplanation(const QString& text) = 0; // hidden when empty
    virtual QString password() const = 0;
    virtual void setPassword(const QString& text) = 0;
    // The tip line; an error shows in red, anything else in the normal text colour.
    virtual void setTip(const QString& text, bool isError) = 0;
    virtual bool isRememberChecked() const = 0;
    virtual void setRememberChecked(bool checked) = 0;
    virtual void setRememberVisible(bool visible) = 0;
    // Shown and spinning while running; hidden when stopped.
    virtual void setProgressRunning(bool running) = 0;

    // Puts the panel's top-left corner at the horizontal centre of the main window's bottom
    // edge, or centred on the screen when there is no main window.
    virtual void placeBelowMainWindow() = 0;

    // Runs the panel modally and hides it when the run ends.
    virtual void runModal() = 0;
    virtual void stopModal() = 0;
    virtual bool isRunning() const = 0;

    // The panel's window, to put alert sheets on.
    virtual QObject* window() = 0;
};

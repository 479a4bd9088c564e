#pragma once

#include "core/system/AlertPort.h"

#include <QString>
#include <QUrl>

class PasswordPanel;

// How the uninstaller's job talks to its user: the window when there is a display, the terminal
// otherwise, a script in tests. The job decides every text; the port only shows and asks.
class UninstallPort
{
public:
    virtual ~UninstallPort() = default;

    // The status line.
    virtual void setStatusLine(const QString& text) = 0;
    // The activity indicator turns while the job works on an item.
    virtual void setProgressRunning(bool running) = 0;
    // The copy of item index (from 1) of count: percent of its bytes done.
    virtual void setProgress(int percent, int index, int count) = 0;

    // An alert with one "OK" button; returns once it was seen (or printed).
    virtual void showAlert(const Alert& alert) = 0;
    // The failure question ("Yes" / "NO"); true opens the help page.
    virtual bool askFailureQuestion(const Alert& alert, const QUrl& helpPage) = 0;
    // The quit guard ("Cancel" / "Exit"); true lets the program end.
    virtual bool confirmExit(const Alert& alert) = 0;
    virtual void openHelp(const QUrl& page) = 0;

    // Where a vault's password is asked; null: nothing can be asked (counts as cancelled).
    virtual PasswordPanel* passwordPanel() = 0;
    // The job is over: the program ends with this status (0 only when everything was done).
    virtual void quit(int exitCode) = 0;
    // The job is over but the program may stay (a window stays open until closed); without a
    // window this ends the program like quit.
    virtual void workDone(int exitCode) = 0;
};

#pragma once

#include "core/vault/PasswordPanel.h"
#include "uninstaller/UninstallPort.h"

#include <cstdio>

// The vault password asked on the terminal without echo. Without a terminal nothing can be
// asked, which counts as Cancel.
class TerminalPasswordPanel : public PasswordPanel
{
public:
    void setClient(PasswordPanelClient* client) override { m_client = client; }
    void setPrompt(const QString& text) override { m_prompt = text; }
    void setExplanation(const QString& text) override { m_explanation = text; }
    QString password() const override { return m_password; }
    void setPassword(const QString& text) override;
    void setTip(const QString& text, bool isError) override;
    bool isRememberChecked() const override { return false; }
    void setRememberChecked(bool) override {}
    void setRememberVisible(bool) override {}
    void setProgressRunning(bool) override {}
    void placeBelowMainWindow() override {}
    void runModal() override;
    void stopModal() override { m_running = false; }
    bool isRunning() const override { return m_running; }
    QObject* window() override { return nullptr; }

private:
    bool readPassword(FILE* terminal);

    PasswordPanelClient* m_client = nullptr;
    QString m_prompt;
    QString m_explanation;
    QString m_password;
    bool m_running = false;
};

// The uninstaller without a display: a line per item and its progress on standard output,
// alerts and the help address printed. Nothing is asked but the vault password.
class TerminalPort : public UninstallPort
{
public:
    explicit TerminalPort(FILE* out = stdout) : m_out(out) {}

    void setStatusLine(const QString& text) override;
    void setProgressRunning(bool) override {}
    void setProgress(int percent, int index, int count) override;
    void showAlert(const Alert& alert) override;
    bool askFailureQuestion(const Alert& alert, const QUrl& helpPage) override;
    bool confirmExit(const Alert& alert) override;
    void openHelp(const QUrl& page) override;
    PasswordPanel* passwordPanel() override { return &m_panel; }
    void quit(int exitCode) override;
    void workDone(int exitCode) override { quit(exitCode); }

private:
    void line(const QString& text);

    FILE* m_out;
    TerminalPasswordPanel m_panel;
    QString m_lastStatus;
    int m_lastIndex = -1;
    int m_lastPercent = -1;
};

#pragma once

#include "core/vault/PasswordPanel.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>

// A password panel that plays a script of user actions inside runModal: each run takes steps
// from the front of the script until the controller ends the run. A run whose steps run out
// while it is still open counts in runsLeftOpen, and returns so the test can fail on it.
class ScriptedPasswordPanel : public PasswordPanel
{
public:
    enum class Action
    {
        Type,
        TickRemember,
        UntickRemember,
        ClickOk,
        ClickCancel,
        Call // runs a test's code while the panel is open
    };
    struct Step
    {
        Action action;
        QString text;
        std::function<void()> call = {};
    };
    static Step type(const QString& text) { return {Action::Type, text}; }
    static Step tickRemember() { return {Action::TickRemember, {}}; }
    static Step untickRemember() { return {Action::UntickRemember, {}}; }
    static Step ok() { return {Action::ClickOk, {}}; }
    static Step cancel() { return {Action::ClickCancel, {}}; }
    static Step call(std::function<void()> code) { return {Action::Call, {}, std::move(code)}; }

    // What the panel showed after a step.
    struct Seen
    {
        QString tip;
        bool tipIsError = false;
        bool rememberChecked = false;
        bool progressRunning = false;
    };

    void setClient(PasswordPanelClient* client) override { m_client = client; }
    void setPrompt(const QString& text) override { prompts.append(text); }
    void setExplanation(const QString& text) override { explanations.append(text); }
    QString password() const override { return m_password; }
    void setPassword(const QString& text) override { m_password = text; }
    void setTip(const QString& text, bool isError) override
    {
        m_seen.tip = text;
        m_seen.tipIsError = isError;
    }
    bool isRememberChecked() const override { return m_seen.rememberChecked; }
    void setRememberChecked(bool checked) override { m_seen.rememberChecked = checked; }
    void setRememberVisible(bool visible) override { rememberVisible.append(visible); }
    void setProgressRunning(bool running) override
    {
        m_seen.progressRunning = running;
        progressCalls.append(running);
    }
    void placeBelowMainWindow() override { ++placements; }
    void runModal() override;
    void stopModal() override { m_stopped = true; }
    bool isRunning() const override { return m_running; }
    QObject* window() override { return &m_window; }

    QList<Step> script;
    int runs = 0;
    int runsLeftOpen = 0;
    int placements = 0;
    QStringList prompts;
    QStringList explanations;
    QList<bool> rememberVisible;
    QList<bool> progressCalls;
    QList<Seen> seen; // one entry after every step played

private:
    PasswordPanelClient* m_client = nullptr;
    QString m_password;
    Seen m_seen;
    QObject m_window;
    bool m_running = false;
    bool m_stopped = false;
};

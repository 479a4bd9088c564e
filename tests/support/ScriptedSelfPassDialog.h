#pragma once

#include "app/prefs/SelfPassDialog.h"

#include <QList>
#include <QObject>
#include <QStringList>

// Plays a script of user steps inside runModal until the controller ends the run, and keeps what
// the dialog was told to show.
class ScriptedSelfPassDialog : public SelfPassDialog
{
public:
    enum class Action
    {
        TypePassword,
        TypeRepeat,
        ClickOk,
        ClickCancel
    };
    struct Step
    {
        Action action;
        QString text;
    };
    static Step password(const QString& text) { return {Action::TypePassword, text}; }
    static Step repeat(const QString& text) { return {Action::TypeRepeat, text}; }
    static Step ok() { return {Action::ClickOk, {}}; }
    static Step cancel() { return {Action::ClickCancel, {}}; }
    // Both fields typed, then OK.
    static QList<Step> set(const QString& text) { return {password(text), repeat(text), ok()}; }

    void setActions(const Actions& actions) override { m_actions = actions; }
    int runModal(QWidget* parent) override
    {
        ++runs;
        parents.append(parent);
        m_code = -1;
        while (m_code < 0 && !script.isEmpty()) {
            const Step step = script.takeFirst();
            switch (step.action) {
            case Action::TypePassword:
                m_password = step.text;
                m_actions.textChanged(&m_passWordField);
                break;
            case Action::TypeRepeat:
                m_repeat = step.text;
                m_actions.textChanged(&m_repeatField);
                break;
            case Action::ClickOk:
                // A disabled OK can't be clicked.
                if (okEnabled)
                    m_actions.ok();
                break;
            case Action::ClickCancel:
                m_actions.cancel();
                break;
            }
        }
        return m_code;
    }
    void stopModal(int code) override { m_code = code; }
    QObject* passWordField() override { return &m_passWordField; }
    QObject* repeatPassWordField() override { return &m_repeatField; }
    QString password() const override { return m_password; }
    QString repeatPassword() const override { return m_repeat; }
    void setInfo(const QString& text, const QColor& color) override
    {
        infos.append(text);
        colors.append(color);
    }
    void setOkEnabled(bool enabled) override { okEnabled = enabled; }
    void clear() override
    {
        m_password.clear();
        m_repeat.clear();
        ++clears;
    }
    QObject* window() override { return &m_window; }

    QList<Step> script;
    int runs = 0;
    int clears = 0;
    bool okEnabled = false;
    QList<QWidget*> parents;
    QStringList infos;
    QList<QColor> colors;

private:
    Actions m_actions;
    QObject m_passWordField;
    QObject m_repeatField;
    QObject m_window;
    QString m_password;
    QString m_repeat;
    int m_code = -1;
};

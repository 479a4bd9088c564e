#pragma once

#include "app/shell/SelfUnlockPanel.h"

#include <QStringList>
#include <optional>

// Types each password in turn and clicks OK, or clicks Cancel for an empty optional entry,
// until the controller ends the prompt. Keeps every info text shown.
class ScriptedSelfUnlockPanel : public SelfUnlockPanel
{
public:
    int runModal(const Actions& actions) override
    {
        ++runs;
        m_stopped = false;
        for (const std::optional<QString>& entry : std::as_const(script)) {
            if (m_stopped)
                break;
            if (!entry) {
                actions.cancel();
                continue;
            }
            m_password = *entry;
            actions.textChanged();
            actions.ok();
        }
        return m_stopped ? m_code : -1;
    }
    void stopModal(int code) override
    {
        m_stopped = true;
        m_code = code;
    }
    QString password() const override { return m_password; }
    void setInfo(const QString& text, const QColor& color) override
    {
        infos.append(text);
        colors.append(color);
    }
    void hide() override { ++hides; }

    QList<std::optional<QString>> script;
    QStringList infos;
    QList<QColor> colors;
    int runs = 0;
    int hides = 0;

private:
    QString m_password;
    bool m_stopped = false;
    int m_code = 0;
};

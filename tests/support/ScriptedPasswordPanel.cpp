#include "tests/support/ScriptedPasswordPanel.h"

void ScriptedPasswordPanel::runModal()
{
    ++runs;
    m_running = true;
    m_stopped = false;
    while (!m_stopped && !script.isEmpty()) {
        const Step step = script.takeFirst();
        switch (step.action) {
        case Action::Type:
            m_password = step.text;
            if (m_client)
                m_client->textDidChange();
            break;
        case Action::TickRemember:
        case Action::UntickRemember:
            m_seen.rememberChecked = step.action == Action::TickRemember;
            if (m_client)
                m_client->clickrememberpassword();
            break;
        case Action::ClickOk:
            if (m_client)
                m_client->clickok();
            break;
        case Action::ClickCancel:
            if (m_client)
                m_client->clickcancel();
            break;
        case Action::Call:
            step.call();
            break;
        }
        seen.append(m_seen);
    }
    if (!m_stopped)
        ++runsLeftOpen;
    m_running = false;
}

#include "uninstaller/RestoreWorkRestorer.h"

#include "platform/Trash.h"

QString RestoreWorkRestorer::prepare(const Item& item, SettingsStore& settings)
{
    RestoreWork::Prepared prepared =
        RestoreWork::prepare(item.name, item.vault, item.place, item.linkFlag, settings);
    if (!prepared.plan)
        return prepared.refusal;
    m_plan = *prepared.plan;
    m_plan->keepVaultCopy = true; // the vault stays whole until the user deletes it
    return {};
}

QString RestoreWorkRestorer::holders()
{
    return m_plan ? RestoreWork::clearHolders(*m_plan) : QString();
}

bool RestoreWorkRestorer::begin(QString* error)
{
    m_work = std::make_unique<RestoreWork>(*m_plan, m_trash.access());
    return m_work->begin(error);
}

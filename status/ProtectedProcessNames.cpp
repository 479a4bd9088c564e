#include "status/ProtectedProcessNames.h"

#include "core/catalogue/Catalogue.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"

ProtectedProcessNames::ProtectedProcessNames(SettingsStore& settings, std::function<void()> refresh)
    : m_settings(settings), m_refresh(std::move(refresh))
{}

QList<FileStamp> ProtectedProcessNames::currentStamps() const
{
    return {FileStamp::of(Paths::settingsFile(SettingsStore::kZorvaneDomain)),
            FileStamp::of(Paths::settingsFile(m_settings.domain())), FileStamp::of(m_cataloguePath)};
}

void ProtectedProcessNames::refreshIfChanged()
{
    if (m_loads > 0 && currentStamps() == m_stamps)
        return;
    ++m_loads;
    if (m_refresh)
        m_refresh();
    m_cataloguePath = m_settings.stringForKey(SettingsKeys::DefaultXmlPath);
    // Stamped before reading: a change while we read is seen next time.
    m_stamps = currentStamps();
    const QVariantMap protectedItems = Records(m_settings).list(SettingsKeys::RedirectItem);
    m_protected.clear();
    for (const CatalogueEntry& entry : Catalogue::loadFromSettings(m_settings)) {
        if (!protectedItems.contains(entry.name))
            continue;
        for (const QString& name : entry.processNames())
            m_protected.insert(name.toLower());
    }
}

bool ProtectedProcessNames::isProtected(const QString& processName)
{
    refreshIfChanged();
    return m_protected.contains(processName.toLower());
}

#include "status/ProtectedProcessNames.h"

#include "core/catalogue/Catalogue.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"

#include <QFile>
#include <sys/stat.h>

ProtectedProcessNames::ProtectedProcessNames(SettingsStore& settings, std::function<void()> refresh)
    : m_settings(settings), m_refresh(std::move(refresh))
{}

ProtectedProcessNames::Stamp ProtectedProcessNames::stampOf(const QString& path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QList<ProtectedProcessNames::Stamp> ProtectedProcessNames::currentStamps() const
{
    return {stampOf(Paths::settingsFile(SettingsStore::kZorvaneDomain)),
            stampOf(Paths::settingsFile(m_settings.domain())), stampOf(m_cataloguePath)};
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

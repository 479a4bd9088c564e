#pragma once

#include "core/settings/FileStamp.h"

#include <QList>
#include <QSet>
#include <QString>
#include <functional>

class SettingsStore;
struct CatalogueEntry;

// The process names of the protected applications, lower-cased. Every process the user starts
// is tested against them, so they are read again only when the settings files or the catalogue
// file have changed.
class ProtectedProcessNames
{
public:
    // refresh re-reads the settings the way the helper does before each piece of work.
    ProtectedProcessNames(SettingsStore& settings, std::function<void()> refresh);

    bool isProtected(const QString& processName);
    // How often the files were read (tests).
    int loads() const { return m_loads; }

private:
    QList<FileStamp> currentStamps() const;
    void refreshIfChanged();

    SettingsStore& m_settings;
    std::function<void()> m_refresh;
    QString m_cataloguePath;
    QList<FileStamp> m_stamps;
    QSet<QString> m_protected;
    int m_loads = 0;
};

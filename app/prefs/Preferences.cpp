#include "app/prefs/Preferences.h"

#include "app/prefs/AppPrefsWindowController.h"

Preferences::Preferences(SettingsStore& settings, AlertPort& alerts, Updater* updater, QString version)
    : m_settings(settings), m_alerts(alerts), m_updater(updater), m_version(std::move(version)),
      m_passController(settings, alerts, m_selfPass)
{}

Preferences::~Preferences() = default;

void Preferences::openPreferences()
{
    if (!m_controller) {
        AppPrefsServices services;
        services.settings = &m_settings;
        services.alerts = &m_alerts;
        services.port = &m_port;
        services.selfPass = &m_selfPass;
        services.updater = m_updater;
        services.version = m_version;
        m_controller = std::make_unique<AppPrefsWindowController>(services);
        m_controller->awakeFromNib();
    }
    m_controller->showWindow();
}

void Preferences::openSelfProtection()
{
    m_passController.runModal(m_mainWindow);
}

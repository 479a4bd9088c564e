#pragma once

#include "app/prefs/PassSelfController.h"
#include "app/prefs/QtPrefsPort.h"
#include "app/prefs/QtSelfPassDialog.h"

#include <QPointer>
#include <memory>

class AlertPort;
class AppPrefsWindowController;
class SettingsStore;
class Updater;

// Zorvane's preferences window and self-protection dialog with their Qt windows, made when first
// asked for. The application controller reaches them through its two hooks.
class Preferences
{
public:
    Preferences(SettingsStore& settings, AlertPort& alerts, Updater* updater, QString version);
    ~Preferences();

    // The window the self-protection dialog is a sheet of when opened from the main window.
    void setMainWindow(QWidget* window) { m_mainWindow = window; }

    void openPreferences();
    void openSelfProtection();
    AppPrefsWindowController* controller() const { return m_controller.get(); }

private:
    SettingsStore& m_settings;
    AlertPort& m_alerts;
    Updater* m_updater;
    QString m_version;
    QPointer<QWidget> m_mainWindow;
    QtPrefsPort m_port;
    QtSelfPassDialog m_selfPass;
    PassSelfController m_passController;
    std::unique_ptr<AppPrefsWindowController> m_controller;
};

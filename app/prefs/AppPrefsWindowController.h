#pragma once

#include "app/prefs/PrefsWindowController.h"

#include <QList>
#include <QPair>

class AlertPort;
class PassSelfController;
class PrefsPort;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class SelfPassDialog;
class SettingsStore;
class Updater;

// What the preferences window works with; every pointer is required unless noted.
struct AppPrefsServices
{
    SettingsStore* settings = nullptr;
    AlertPort* alerts = nullptr;
    PrefsPort* port = nullptr;
    SelfPassDialog* selfPass = nullptr;
    Updater* updater = nullptr; // optional: without it the Version page can't check
    QString version;            // shown on the Version page
};

// Zorvane's preferences: the General page (switches, self-protection, the folder for new vaults)
// and the Version page (version, last update check, check now). Switches are written to the
// settings at once; the application controller reacts to the ones that change login items or
// update checks.
class AppPrefsWindowController : public PrefsWindowController
{
    Q_OBJECT
public:
    static inline const QString kOtherLocation = QStringLiteral("Other..");

    explicit AppPrefsWindowController(const AppPrefsServices& services, QObject* parent = nullptr);
    ~AppPrefsWindowController() override;

    void awakeFromNib();
    // Shows the window with every control reading the settings and the key file afresh.
    void showWindow() override;

    void clickpopupbutton(int index);
    void clickokstartup();
    void clickselfprotection();
    void clickupdate();
    // The folder chooser's end: code 1 with the chosen folder, anything else is a cancel.
    void didEndSaveSheet(int returnCode, const QString& folder);

    QWidget* generalPreferenceView() const { return m_generalPreferenceView; }
    QWidget* versionPreferenceView() const { return m_versionPreferenceView; }
    QCheckBox* StartupWithSystem() const { return m_startupWithSystem; }
    QCheckBox* helperStartup() const { return m_helperStartup; }
    QCheckBox* StartupOpenVaults() const { return m_startupOpenVaults; }
    QCheckBox* autoLock() const { return m_autoLock; }
    QCheckBox* notifications() const { return m_notifications; }
    QCheckBox* checkUpdates() const { return m_checkUpdates; }
    QCheckBox* SelfProtection() const { return m_selfProtection; }
    QComboBox* VaultsLocation() const { return m_vaultsLocation; }
    QLabel* versioninfo() const { return m_versioninfo; }
    QLabel* lastscantime() const { return m_lastscantime; }
    QLabel* updateinfo() const { return m_updateinfo; }
    QPushButton* checkNowButton() const { return m_checkNow; }
    PassSelfController* passController() const { return m_passController; }

    // The local time of the last update check, empty when there was none.
    static QString lastCheckText(const QVariant& lastCheck);

protected:
    void setupToolbar() override;

private:
    void buildGeneralPage();
    void buildVersionPage();
    void refreshSwitches();
    void selectDefaultLocation();
    bool isInsideVolumesRoot(const QString& folder) const;
    void showUpdateAnswer(const QString& text);

    AppPrefsServices m_services;
    bool m_awake = false;
    QWidget* m_generalPreferenceView = nullptr;
    QWidget* m_versionPreferenceView = nullptr;
    QCheckBox* m_startupWithSystem = nullptr;
    QCheckBox* m_helperStartup = nullptr;
    QCheckBox* m_startupOpenVaults = nullptr;
    QCheckBox* m_autoLock = nullptr;
    QCheckBox* m_notifications = nullptr;
    QCheckBox* m_checkUpdates = nullptr;
    QCheckBox* m_selfProtection = nullptr;
    QComboBox* m_vaultsLocation = nullptr;
    QLabel* m_versioninfo = nullptr;
    QLabel* m_lastscantime = nullptr;
    QLabel* m_updateinfo = nullptr;
    QPushButton* m_checkNow = nullptr;
    PassSelfController* m_passController = nullptr;
    // Check boxes that show and write one switch each.
    QList<QPair<QCheckBox*, QString>> m_switches;
};

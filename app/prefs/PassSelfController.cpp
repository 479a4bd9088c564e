#include "app/prefs/PassSelfController.h"

#include "app/prefs/SelfPassDialog.h"
#include "core/settings/SelfProtectionKey.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "core/system/Logging.h"

PassSelfController::PassSelfController(SettingsStore& settings, AlertPort& alerts, SelfPassDialog& dialog)
    : m_settings(settings), m_alerts(alerts), m_dialog(dialog)
{}

void PassSelfController::awakeFromNib()
{
    m_dialog.setOkEnabled(false);
    m_dialog.setActions({[this] { ClickOK(); }, [this] { ClickCancel(); },
                         [this](QObject* sender) {
                             textDidChange(sender);
                         }});
}

int PassSelfController::runModal(QWidget* parent)
{
    // The dialog's window may serve another controller between runs: claim it for this one.
    awakeFromNib();
    m_dialog.clear();
    return m_dialog.runModal(parent);
}

void PassSelfController::textDidChange(QObject* sender)
{
    if (!sender || (sender != m_dialog.passWordField() && sender != m_dialog.repeatPassWordField()))
        return;
    const bool match = m_dialog.password() == m_dialog.repeatPassword();
    m_dialog.setInfo(match ? kMatchText : kMismatchText, match ? matchColor() : mismatchColor());
    m_dialog.setOkEnabled(match);
}

void PassSelfController::ClickOK()
{
    QString error;
    const bool written = SelfProtectionKey::write(m_dialog.password(), &error);
    m_dialog.clear();
    m_dialog.setOkEnabled(false);
    if (!written) {
        qCWarning(lcApp) << "cannot write the self-protection key file:" << error;
        m_alerts.runAlert(Alert(QStringLiteral("Unable to turn on self-protection"),
                                QStringLiteral("The key file %1 could not be written (%2). Zorvane will "
                                               "not ask for a password at start.")
                                    .arg(SelfProtectionKey::path(), error)),
                          m_dialog.window());
        m_dialog.stopModal(kCancelled);
        return;
    }
    m_settings.setObject(QStringLiteral("YES"), SettingsKeys::PassSelf);
    m_dialog.stopModal(kPasswordSet);
}

void PassSelfController::ClickCancel()
{
    m_dialog.clear();
    m_dialog.setOkEnabled(false);
    m_dialog.stopModal(kCancelled);
}

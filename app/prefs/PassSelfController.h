#pragma once

#include <QColor>
#include <QString>

class AlertPort;
class QObject;
class QWidget;
class SelfPassDialog;
class SettingsStore;

// The dialog that sets the self-protection password: it writes the key file Zorvane's start
// checks. The password lives only in the dialog's fields, which are emptied when the dialog ends.
class PassSelfController
{
public:
    static constexpr int kCancelled = 1;
    static constexpr int kPasswordSet = 2;
    static inline const QString kMatchText = QStringLiteral("Passwords match");
    static inline const QString kMismatchText = QStringLiteral("Passwords do not match");
    static QColor matchColor() { return QColor::fromRgbF(0.0f, 0.6f, 0.3f, 1.0f); }
    static QColor mismatchColor() { return QColor(Qt::red); }

    PassSelfController(SettingsStore& settings, AlertPort& alerts, SelfPassDialog& dialog);

    void awakeFromNib();
    // Runs the dialog modally on parent: kPasswordSet once the key file is written, otherwise
    // kCancelled (Cancel, or a key file that could not be written).
    int runModal(QWidget* parent);

    void textDidChange(QObject* sender);
    void ClickOK();
    void ClickCancel();

private:
    SettingsStore& m_settings;
    AlertPort& m_alerts;
    SelfPassDialog& m_dialog;
};

#pragma once

#include "app/prefs/SelfPassDialog.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The self-protection password dialog ("SetSelfPass") as a Qt dialog; its controls carry the
// outlet names PassWord, RepeatPassWord, PassInfo and okPass.
class QtSelfPassDialog : public QDialog, public SelfPassDialog
{
    Q_OBJECT
public:
    explicit QtSelfPassDialog(QWidget* parent = nullptr);

    void setActions(const Actions& actions) override { m_actions = actions; }
    int runModal(QWidget* parent) override;
    void stopModal(int code) override;
    QObject* passWordField() override;
    QObject* repeatPassWordField() override;
    QString password() const override;
    QString repeatPassword() const override;
    void setInfo(const QString& text, const QColor& color) override;
    void setOkEnabled(bool enabled) override;
    void clear() override;
    QObject* window() override { return this; }

    // Escape and the window's close button are Cancel.
    void reject() override;

private:
    Actions m_actions;
    QLineEdit* m_password;
    QLineEdit* m_repeat;
    QLabel* m_info;
    QPushButton* m_ok;
    bool m_running = false;
};

#pragma once

#include "app/shell/SelfUnlockPanel.h"

#include <memory>

class QDialog;
class QLabel;
class QLineEdit;

class QtSelfUnlockPanel : public SelfUnlockPanel
{
public:
    QtSelfUnlockPanel();
    ~QtSelfUnlockPanel() override;

    int runModal(const Actions& actions) override;
    void stopModal(int code) override;
    QString password() const override;
    void setInfo(const QString& text, const QColor& color) override;
    void hide() override;

    QDialog* dialog() const { return m_dialog.get(); }

private:
    std::unique_ptr<QDialog> m_dialog;
    QLineEdit* m_password;
    QLabel* m_info;
    Actions m_actions;
};

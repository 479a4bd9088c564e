#pragma once

#include "core/vault/PasswordPanel.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The password panel as a Qt dialog. Its controls carry the names the controller's outlets
// had: passwordtitle, passwordcontent, passwordvalue, passwordtip, remberpassword,
// progresswindow. mainWindow is where placeBelowMainWindow() puts the panel; without one the
// application's active window is used, and without any the panel is centred on the screen.
class QtPasswordPanel : public QDialog, public PasswordPanel
{
    Q_OBJECT

public:
    explicit QtPasswordPanel(QWidget* mainWindow = nullptr);
    // The main window may be made after the panel.
    void setMainWindow(QWidget* mainWindow) { m_mainWindow = mainWindow; }

    void setClient(PasswordPanelClient* client) override { m_client = client; }
    void setPrompt(const QString& text) override;
    void setExplanation(const QString& text) override;
    QString password() const override;
    void setPassword(const QString& text) override;
    void setTip(const QString& text, bool isError) override;
    bool isRememberChecked() const override;
    void setRememberChecked(bool checked) override;
    void setRememberVisible(bool visible) override;
    void setProgressRunning(bool running) override;
    void placeBelowMainWindow() override;
    void runModal() override;
    void stopModal() override;
    bool isRunning() const override { return m_running; }
    QObject* window() override { return this; }

    // Closing the window or pressing Escape is Cancel.
    void reject() override;

private:
    QWidget* m_mainWindow;
    PasswordPanelClient* m_client = nullptr;
    QLabel* m_title;
    QLabel* m_content;
    QLineEdit* m_password;
    QLabel* m_tip;
    QCheckBox* m_remember;
    QProgressBar* m_progress;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    bool m_running = false;
};

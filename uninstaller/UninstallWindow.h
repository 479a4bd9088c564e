#pragma once

#include "ui/DesktopUrlOpener.h"
#include "ui/QtAlertPort.h"
#include "ui/QtPasswordPanel.h"
#include "uninstaller/UninstallPort.h"

#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;

// The uninstaller's window: the status line, the item being restored and a bar fed by its copy.
// Closing it goes through the job's quit guard.
class UninstallWindow : public QWidget, public UninstallPort
{
    Q_OBJECT
public:
    explicit UninstallWindow(QWidget* parent = nullptr);

    // Asked when the user closes the window: true lets it close.
    void setCloseGuard(std::function<bool()> guard) { m_closeGuard = std::move(guard); }

    void setStatusLine(const QString& text) override;
    void setProgressRunning(bool running) override;
    void setProgress(int percent, int index, int count) override;
    void showAlert(const Alert& alert) override;
    bool askFailureQuestion(const Alert& alert, const QUrl& helpPage) override;
    bool confirmExit(const Alert& alert) override;
    void openHelp(const QUrl& page) override;
    PasswordPanel* passwordPanel() override { return &m_passwordPanel; }
    void quit(int exitCode) override;
    void workDone(int exitCode) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_inforlabel;
    QLabel* m_itemLabel;
    QProgressBar* m_progresswindow;
    QtAlertPort m_alerts;
    DesktopUrlOpener m_urls;
    QtPasswordPanel m_passwordPanel;
    std::function<bool()> m_closeGuard;
    int m_exitCode = 0;
    bool m_closing = false;
};

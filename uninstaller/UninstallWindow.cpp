#include "uninstaller/UninstallWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

UninstallWindow::UninstallWindow(QWidget* parent)
    : QWidget(parent), m_inforlabel(new QLabel(this)), m_itemLabel(new QLabel(this)),
      m_progresswindow(new QProgressBar(this)), m_passwordPanel(this)
{
    setWindowTitle(QStringLiteral("Zorvane Uninstaller"));
    m_inforlabel->setObjectName(QStringLiteral("inforlabel"));
    m_inforlabel->setWordWrap(true);
    m_itemLabel->setObjectName(QStringLiteral("itemlabel"));
    m_progresswindow->setObjectName(QStringLiteral("progresswindow"));
    m_progresswindow->setTextVisible(true);
    m_progresswindow->setRange(0, 100);
    m_progresswindow->setValue(0);
    m_progresswindow->setFormat(QStringLiteral("Restoring %p%"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(10);
    layout->addWidget(m_inforlabel);
    layout->addWidget(m_itemLabel);
    layout->addWidget(m_progresswindow);
    setFixedWidth(460);
}

void UninstallWindow::setStatusLine(const QString& text)
{
    m_inforlabel->setText(text);
}

void UninstallWindow::setProgressRunning(bool running)
{
    // Without figures yet the bar only shows that the job works.
    if (running && m_progresswindow->value() <= 0)
        m_progresswindow->setRange(0, 0);
    else if (!running)
        m_progresswindow->setRange(0, 100);
}

void UninstallWindow::setProgress(int percent, int index, int count)
{
    m_itemLabel->setText(QStringLiteral("Item %1 of %2").arg(index).arg(count));
    m_progresswindow->setRange(0, 100);
    m_progresswindow->setValue(percent);
}

void UninstallWindow::showAlert(const Alert& alert)
{
    m_alerts.runAlert(alert, isVisible() ? this : nullptr);
}

bool UninstallWindow::askFailureQuestion(const Alert& alert, const QUrl&)
{
    return m_alerts.runAlert(alert, isVisible() ? this : nullptr) == AlertPort::kFirstButton;
}

bool UninstallWindow::confirmExit(const Alert& alert)
{
    return m_alerts.runAlert(alert, this) == AlertPort::kSecondButton;
}

void UninstallWindow::openHelp(const QUrl& page)
{
    m_urls.openUrl(page);
}

void UninstallWindow::quit(int exitCode)
{
    m_exitCode = exitCode;
    m_closing = true;
    QCoreApplication::exit(exitCode);
}

void UninstallWindow::workDone(int exitCode)
{
    m_exitCode = exitCode; // the window stays until the user closes it
}

void UninstallWindow::closeEvent(QCloseEvent* event)
{
    if (m_closing || !m_closeGuard || m_closeGuard()) {
        event->accept();
        QCoreApplication::exit(m_exitCode);
        return;
    }
    event->ignore();
}

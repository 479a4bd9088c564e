#include "ui/QtPasswordPanel.h"

#include "ui/SecretField.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

QtPasswordPanel::QtPasswordPanel(QWidget* mainWindow)
    : QDialog(nullptr), m_mainWindow(mainWindow), m_title(new QLabel(this)), m_content(new QLabel(this)),
      m_password(new QLineEdit(this)), m_tip(new QLabel(this)),
      m_remember(new QCheckBox(QStringLiteral("Remember this password"), this)),
      m_progress(new QProgressBar(this))
{
    setObjectName(QStringLiteral("passwordentry"));
    setWindowTitle(QStringLiteral("Zorvane"));
    setModal(true);

    m_title->setObjectName(QStringLiteral("passwordtitle"));
    m_title->setWordWrap(true);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_content->setObjectName(QStringLiteral("passwordcontent"));
    m_content->setWordWrap(true);
    m_content->hide();
    m_password->setObjectName(QStringLiteral("passwordvalue"));
    m_title->setBuddy(m_password); // the prompt names the field for screen readers
    m_password->setEchoMode(QLineEdit::Password);
    m_tip->setObjectName(QStringLiteral("passwordtip"));
    m_remember->setObjectName(QStringLiteral("remberpassword"));
    m_progress->setObjectName(QStringLiteral("progresswindow"));
    m_progress->setRange(0, 0); // busy: spins without a value
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(8);
    m_progress->hide();

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_content);
    layout->addWidget(m_password);
    layout->addWidget(m_tip);
    layout->addWidget(m_remember);
    layout->addWidget(m_progress);
    layout->addWidget(buttons);
    setMinimumWidth(380);

    // The buttons report to the controller; only it ends the run.
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (m_client)
            m_client->clickok();
    });
    connect(m_cancel, &QPushButton::clicked, this, &QtPasswordPanel::reject);
    connect(m_remember, &QCheckBox::clicked, this, [this] {
        if (m_client)
            m_client->clickrememberpassword();
    });
    connect(m_password, &QLineEdit::textEdited, this, [this] {
        if (m_client)
            m_client->textDidChange();
    });
}

void QtPasswordPanel::setPrompt(const QString& text)
{
    m_title->setText(text);
}

void QtPasswordPanel::setExplanation(const QString& text)
{
    m_content->setText(text);
    m_content->setVisible(!text.isEmpty());
}

QString QtPasswordPanel::password() const
{
    return m_password->text();
}

void QtPasswordPanel::setPassword(const QString& text)
{
    if (text.isEmpty())
        SecretField::clear(m_password);
    else
        m_password->setText(text);
}

void QtPasswordPanel::setTip(const QString& text, bool isError)
{
    m_tip->setText(text);
    // Only an error is coloured; other tips keep the desktop's text colour, dark themes included.
    m_tip->setStyleSheet(isError ? QStringLiteral("color: red;") : QString());
}

bool QtPasswordPanel::isRememberChecked() const
{
    return m_remember->isChecked();
}

void QtPasswordPanel::setRememberChecked(bool checked)
{
    m_remember->setChecked(checked);
}

void QtPasswordPanel::setRememberVisible(bool visible)
{
    m_remember->setVisible(visible);
}

void QtPasswordPanel::setProgressRunning(bool running)
{
    m_progress->setVisible(running);
    // Let the spinner appear before a blocking attach starts.
    if (running)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtPasswordPanel::placeBelowMainWindow()
{
    QWidget* main = m_mainWindow ? m_mainWindow : QApplication::activeWindow();
    if (main == this)
        main = nullptr;
    if (!main) {
        // The helper has no main window: the middle of the screen, where the eye is.
        adjustSize();
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->availableGeometry() : QRect();
        move(area.center() - QPoint(width() / 2, height() / 2));
        return;
    }
    const QRect frame = main->frameGeometry();
    move(frame.x() + frame.width() / 2, frame.y() + frame.height());
}

void QtPasswordPanel::runModal()
{
    m_running = true;
    m_password->setFocus();
    // Asked for by a program in the background: it must come to the front with the focus.
    show();
    raise();
    activateWindow();
    exec();
    m_running = false;
    hide();
}

void QtPasswordPanel::stopModal()
{
    done(QDialog::Accepted);
}

void QtPasswordPanel::reject()
{
    if (m_client)
        m_client->clickcancel();
    else
        QDialog::reject();
}

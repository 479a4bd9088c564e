#include "app/shell/QtSelfUnlockPanel.h"

#include "ui/SecretField.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QtSelfUnlockPanel::QtSelfUnlockPanel()
    : m_dialog(std::make_unique<QDialog>()), m_password(new QLineEdit), m_info(new QLabel)
{
    m_dialog->setWindowTitle(QStringLiteral("Zorvane"));
    auto* layout = new QVBoxLayout(m_dialog.get());
    auto* prompt = new QLabel(QStringLiteral("Enter the password to open Zorvane:"));
    prompt->setBuddy(m_password);
    layout->addWidget(prompt);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setObjectName(QStringLiteral("unlockPassword"));
    layout->addWidget(m_password);
    m_info->setObjectName(QStringLiteral("unlockInfo"));
    layout->addWidget(m_info);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    // The controller decides when the prompt ends, so the buttons only report.
    QObject::connect(buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, m_dialog.get(), [this] {
        if (m_actions.ok)
            m_actions.ok();
    });
    QObject::connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, m_dialog.get(),
                     [this] {
                         if (m_actions.cancel)
                             m_actions.cancel();
                     });
    QObject::connect(m_dialog.get(), &QDialog::rejected, m_dialog.get(), [this] {
        if (m_dialog->result() != 2 && m_actions.cancel)
            m_actions.cancel();
    });
    QObject::connect(m_password, &QLineEdit::textChanged, m_dialog.get(), [this] {
        if (m_actions.textChanged)
            m_actions.textChanged();
    });
}

QtSelfUnlockPanel::~QtSelfUnlockPanel() = default;

int QtSelfUnlockPanel::runModal(const Actions& actions)
{
    m_actions = actions;
    SecretField::clear(m_password);
    m_info->clear();
    const int code = m_dialog->exec();
    m_actions = {};
    // The password is checked by now; it must not stay in the field for the program's whole run.
    SecretField::clear(m_password);
    return code;
}

void QtSelfUnlockPanel::stopModal(int code)
{
    m_dialog->done(code);
}

QString QtSelfUnlockPanel::password() const
{
    return m_password->text();
}

void QtSelfUnlockPanel::setInfo(const QString& text, const QColor& color)
{
    m_info->setText(text);
    QPalette palette = m_info->palette();
    palette.setColor(QPalette::WindowText, color);
    m_info->setPalette(palette);
}

void QtSelfUnlockPanel::hide()
{
    m_dialog->hide();
}

#include "app/prefs/QtSelfPassDialog.h"

#include "ui/SecretField.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

QtSelfPassDialog::QtSelfPassDialog(QWidget* parent)
    : QDialog(parent), m_password(new QLineEdit(this)), m_repeat(new QLineEdit(this)),
      m_info(new QLabel(this))
{
    setObjectName(QStringLiteral("SetSelfPass"));
    setWindowTitle(QStringLiteral("Set Password"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* intro = new QLabel(QStringLiteral("Zorvane will ask for this password each time it starts."), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    m_password->setObjectName(QStringLiteral("PassWord"));
    m_repeat->setObjectName(QStringLiteral("RepeatPassWord"));
    for (QLineEdit* field : {m_password, m_repeat}) {
        field->setEchoMode(QLineEdit::Password);
        field->setMinimumWidth(240);
        connect(field, &QLineEdit::textChanged, this, [this, field] {
            if (m_actions.textChanged)
                m_actions.textChanged(field);
        });
    }
    form->addRow(QStringLiteral("Password:"), m_password);
    form->addRow(QStringLiteral("Verify:"), m_repeat);
    layout->addLayout(form);
    m_info->setObjectName(QStringLiteral("PassInfo"));
    m_info->setMinimumHeight(m_info->fontMetrics().height());
    layout->addWidget(m_info);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("okPass"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cancelPass"));
    layout->addWidget(buttons);
    // The controller ends the dialog, so the buttons only report.
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (m_actions.ok)
            m_actions.ok();
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        if (m_actions.cancel)
            m_actions.cancel();
    });
}

int QtSelfPassDialog::runModal(QWidget* parent)
{
    // Window-modal on the given window, as a sheet would be.
    setParent(parent, windowFlags());
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    m_password->setFocus();
    m_running = true;
    const int code = exec();
    m_running = false;
    setParent(nullptr, windowFlags());
    return code;
}

void QtSelfPassDialog::stopModal(int code)
{
    done(code);
}

void QtSelfPassDialog::reject()
{
    if (m_running && m_actions.cancel)
        m_actions.cancel();
    else
        QDialog::reject();
}

QObject* QtSelfPassDialog::passWordField()
{
    return m_password;
}

QObject* QtSelfPassDialog::repeatPassWordField()
{
    return m_repeat;
}

QString QtSelfPassDialog::password() const
{
    return m_password->text();
}

QString QtSelfPassDialog::repeatPassword() const
{
    return m_repeat->text();
}

void QtSelfPassDialog::setInfo(const QString& text, const QColor& color)
{
    m_info->setText(text);
    QPalette palette = m_info->palette();
    palette.setColor(QPalette::WindowText, color);
    m_info->setPalette(palette);
}

void QtSelfPassDialog::setOkEnabled(bool enabled)
{
    m_ok->setEnabled(enabled);
}

void QtSelfPassDialog::clear()
{
    // Emptying the fields is not typing: no match text for two empty fields here.
    const QSignalBlocker blockPassword(m_password);
    const QSignalBlocker blockRepeat(m_repeat);
    SecretField::clear(m_password);
    SecretField::clear(m_repeat);
    m_info->clear();
}

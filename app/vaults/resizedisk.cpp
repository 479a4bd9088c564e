#include "app/vaults/resizedisk.h"

#include "app/vaults/Controler.h"
#include "core/settings/Paths.h"
#include "core/system/AlertPort.h"
#include "core/system/Logging.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "core/system/SecretWipe.h"
#include "core/vault/AttachDiskImageController.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

resizedisk::resizedisk(const ResizeServices& services, QWidget* parent)
    : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("resize"));
    setWindowTitle(QStringLiteral("Resize Vault"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(340);
    auto* layout = new QVBoxLayout(this);
    m_heading = new QLabel(this);
    QFont bold = m_heading->font();
    bold.setBold(true);
    m_heading->setFont(bold);
    layout->addWidget(m_heading);
    auto* form = new QFormLayout;
    m_oriSize = new QLineEdit(this);
    m_oriSize->setObjectName(QStringLiteral("OriSize"));
    m_oriSize->setReadOnly(true);
    m_oriSize->setFocusPolicy(Qt::NoFocus);
    form->addRow(QStringLiteral("Current size:"), m_oriSize);
    auto* sizeRow = new QHBoxLayout;
    m_customSize = new QLineEdit(this);
    m_customSize->setObjectName(QStringLiteral("CustomSize"));
    m_customSize->setMaximumWidth(90);
    m_popupTypeButton = new QComboBox(this);
    m_popupTypeButton->setObjectName(QStringLiteral("PopupTypeButton"));
    m_popupTypeButton->setAccessibleName(QStringLiteral("Unit"));
    sizeRow->addWidget(m_customSize);
    sizeRow->addWidget(m_popupTypeButton);
    sizeRow->addStretch(1);
    auto* sizeLabel = new QLabel(QStringLiteral("New size:"), this);
    sizeLabel->setBuddy(m_customSize);
    form->addRow(sizeLabel, sizeRow);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    m_progresswindow = new QProgressBar(this);
    m_progresswindow->setObjectName(QStringLiteral("progresswindow"));
    m_progresswindow->setRange(0, 0);
    m_progresswindow->setMaximumWidth(80);
    m_progresswindow->hide();
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    buttons->addWidget(m_progresswindow);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);

    connect(m_customSize, &QLineEdit::textEdited, this, &resizedisk::controlTextDidChange);
    connect(m_ok, &QPushButton::clicked, this, &resizedisk::clickok);
    connect(m_cancel, &QPushButton::clicked, this, &resizedisk::clickcancel);
}

resizedisk::~resizedisk()
{
    wipePassword();
}

resizedisk* resizedisk::showSheet(const ResizeServices& services, QWidget* parent, const QString& oldSize,
                                  const QString& newSize, const QString& filePath, const QString& libPath,
                                  const QString& password, int newType, int callId, int tableIndex)
{
    auto* dialog = new resizedisk(services, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setPriority(oldSize, newSize, filePath, libPath, password, newType, callId, tableIndex);
    dialog->awakeFromNib();
    dialog->open();
    return dialog;
}

void resizedisk::setPriority(const QString& oldSize, const QString& newSize, const QString& filePath,
                             const QString& libPath, const QString& password, int newType, int callId,
                             int tableIndex)
{
    m_oldSize = oldSize;
    m_newSize = newSize;
    m_filePath = filePath;
    m_libPath = libPath;
    setPassWord(password);
    m_newType = newType;
    m_callForIM = callId;
    m_tableIndex = tableIndex;
}

void resizedisk::setPassWord(const QString& value)
{
    wipePassword();
    m_passWord = value;
}

void resizedisk::wipePassword()
{
    SecretWipe::wipe(m_passWord);
}

void resizedisk::awakeFromNib()
{
    m_popupTypeButton->clear();
    m_popupTypeButton->addItems({QStringLiteral("MB"), QStringLiteral("GB")});
    if (!m_oldSize.isNull())
        m_oriSize->setText(m_oldSize);
    if (!m_newSize.isNull())
        m_customSize->setText(m_newSize);
    m_popupTypeButton->setCurrentIndex(m_newType != 0 ? 1 : 0);
    m_progresswindow->hide();
    m_heading->setText(QStringLiteral("Resize vault \"%1\"").arg(Paths::vaultNameFromImagePath(m_filePath)));
    m_customSize->setFocus();
}

void resizedisk::controlTextDidChange()
{
    const QString kept = Controler::customSizeText(m_customSize->text());
    if (kept != m_customSize->text())
        m_customSize->setText(kept);
}

void resizedisk::clickok()
{
    const int size = Controler::customSizeText(m_customSize->text()).toInt();
    if (size == 0) {
        m_services.alerts->runAlert(
            Alert(QStringLiteral("Error"), QStringLiteral("Disk image file size is incorrect")), this);
        return;
    }
    const QString sizeText = QStringLiteral("%1%2").arg(size).arg(m_popupTypeButton->currentText());
    m_progresswindow->show();
    m_ok->setEnabled(false);
    std::unique_ptr<DiskImageTask> task = AttachDiskImageController::hdiutilTaskWithCommand(
        QStringLiteral("resize"), m_filePath, {QStringLiteral("-size"), sizeText}, m_passWord);
    const int status = task->runInLocalLoop();
    m_progresswindow->hide();
    m_ok->setEnabled(true);
    if (status != 0) {
        // The tool's own line says why (a size below what the vault holds, a wrong password).
        Alert alert(QStringLiteral("Error"), QStringLiteral("Unable to resize the vault."));
        alert.accessoryText = task->failureReason();
        qCInfo(lcApp) << "resizing" << m_filePath << "to" << sizeText << "failed:" << alert.accessoryText;
        m_services.alerts->runAlert(alert, this);
        return;
    }
    const int caller = m_callForIM;
    const int row = m_tableIndex;
    NotificationCenter* local = m_services.local;
    close();
    if (caller == 1 || caller == 2)
        local->post(NotificationNames::ReadCapacity, nullptr,
                    {{NotificationNames::DmgSize, sizeText}, {NotificationNames::IsChange, caller}});
    else
        local->post(NotificationNames::ResizeReload, nullptr,
                    {{NotificationNames::DmgSize, sizeText}, {NotificationNames::TableIndex, row}});
}

void resizedisk::clickcancel()
{
    close();
}

void resizedisk::done(int result)
{
    wipePassword();
    QDialog::done(result);
}

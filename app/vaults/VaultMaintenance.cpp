#include "app/vaults/VaultMaintenance.h"

#include "app/vaults/VaultPagePort.h"
#include "app/vaults/resizedisk.h"
#include "core/system/AlertPort.h"
#include "core/system/Logging.h"
#include "core/system/OffThread.h"
#include "core/system/SecretWipe.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/KeychainStore.h"
#include "platform/Trash.h"
#include "ui/SecretField.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kProgressSteps = 1000;

QLineEdit* passwordField(QWidget* parent, const QString& name)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setEchoMode(QLineEdit::Password);
    field->setMinimumWidth(240);
    return field;
}

QDialog* sheet(QWidget* parent, const QString& name, const QString& title, int width)
{
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(name);
    dialog->setWindowTitle(title);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumWidth(width);
    return dialog;
}

QLabel* heading(QWidget* parent, const QString& name = QString())
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

QHBoxLayout* buttonRow(QWidget* leading, QPushButton* cancel, QPushButton* ok)
{
    auto* row = new QHBoxLayout;
    if (leading)
        row->addWidget(leading);
    row->addStretch(1);
    if (cancel)
        row->addWidget(cancel);
    if (ok) {
        ok->setDefault(true);
        row->addWidget(ok);
    }
    return row;
}

QProgressBar* spinner(QWidget* parent, const QString& name)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 0);
    bar->setMaximumWidth(80);
    bar->hide();
    return bar;
}

} // namespace

VaultMaintenance::VaultMaintenance(item2& page, const VaultPageServices& services)
    : m_page(page), m_services(services)
{
    buildChangePassSheet();
    buildLocationSheets();
}

VaultMaintenance::~VaultMaintenance()
{
    // A move still running takes back what it made, silently.
    m_move.reset();
}

void VaultMaintenance::buildChangePassSheet()
{
    m_changepasswindow =
        sheet(&m_page, QStringLiteral("changepasswindow"), QStringLiteral("Change Password"), 380);
    auto* layout = new QVBoxLayout(m_changepasswindow);
    m_changePassInfo = heading(m_changepasswindow, QStringLiteral("ChangePassInfo"));
    layout->addWidget(m_changePassInfo);
    auto* form = new QFormLayout;
    m_oldPassWord = passwordField(m_changepasswindow, QStringLiteral("OldPassWord"));
    m_newPassWord = passwordField(m_changepasswindow, QStringLiteral("NewPassWord"));
    m_repeatPassWord = passwordField(m_changepasswindow, QStringLiteral("RepeatPassWord"));
    form->addRow(QStringLiteral("Old password:"), m_oldPassWord);
    form->addRow(QStringLiteral("New password:"), m_newPassWord);
    form->addRow(QStringLiteral("Verify:"), m_repeatPassWord);
    m_changePassStatus = new QLabel(m_changepasswindow);
    m_changePassStatus->setObjectName(QStringLiteral("ChangePassStatus"));
    form->addRow(QString(), m_changePassStatus);
    layout->addLayout(form);
    m_changepassani = spinner(m_changepasswindow, QStringLiteral("changepassani"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), m_changepasswindow);
    m_clickChangePassButtonOK = new QPushButton(QStringLiteral("OK"), m_changepasswindow);
    m_clickChangePassButtonOK->setObjectName(QStringLiteral("clickChangePassButtonOK"));
    layout->addLayout(buttonRow(m_changepassani, cancel, m_clickChangePassButtonOK));
    connect(cancel, &QPushButton::clicked, this, &VaultMaintenance::ClickChangePassCancel);
    connect(m_clickChangePassButtonOK, &QPushButton::clicked, this, &VaultMaintenance::ClickChangePassOk);
    for (QLineEdit* field : {m_oldPassWord, m_newPassWord, m_repeatPassWord})
        connect(field, &QLineEdit::textEdited, this, [this, field] { textDidChange(field); });
    // However the sheet ends (Escape included), the typed passwords do not stay in it.
    connect(m_changepasswindow, &QDialog::finished, this, &VaultMaintenance::clearPasswordFields);
}

void VaultMaintenance::buildLocationSheets()
{
    m_changelocationwindow =
        sheet(&m_page, QStringLiteral("changelocationwindow"), QStringLiteral("Change Location"), 520);
    auto* layout = new QVBoxLayout(m_changelocationwindow);
    m_changelocationinfo = heading(m_changelocationwindow);
    layout->addWidget(m_changelocationinfo);
    auto* form = new QFormLayout;
    m_oldVaultPath = new QLineEdit(m_changelocationwindow);
    m_oldVaultPath->setObjectName(QStringLiteral("oldVaultPath"));
    m_oldVaultPath->setReadOnly(true);
    m_oldVaultPath->setFocusPolicy(Qt::NoFocus);
    form->addRow(QStringLiteral("Vault:"), m_oldVaultPath);
    auto* newRow = new QHBoxLayout;
    m_newVaultPath = new QLineEdit(m_changelocationwindow);
    m_newVaultPath->setObjectName(QStringLiteral("newVaultPath"));
    auto* choose = new QPushButton(QStringLiteral("Choose…"), m_changelocationwindow);
    choose->setObjectName(QStringLiteral("ChooseDirectory"));
    newRow->addWidget(m_newVaultPath, 1);
    newRow->addWidget(choose);
    auto* newLabel = new QLabel(QStringLiteral("New location:"), m_changelocationwindow);
    newLabel->setBuddy(m_newVaultPath);
    form->addRow(newLabel, newRow);
    layout->addLayout(form);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), m_changelocationwindow);
    m_clickChangePathButtonOK = new QPushButton(QStringLiteral("OK"), m_changelocationwindow);
    m_clickChangePathButtonOK->setObjectName(QStringLiteral("clickChangePathButtonOK"));
    layout->addLayout(buttonRow(nullptr, cancel, m_clickChangePathButtonOK));
    connect(choose, &QPushButton::clicked, this, &VaultMaintenance::ChooseDirectory);
    connect(cancel, &QPushButton::clicked, this, &VaultMaintenance::ClickLocationCancel);
    connect(m_clickChangePathButtonOK, &QPushButton::clicked, this, &VaultMaintenance::ClickLocationOk);
    connect(m_newVaultPath, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_clickChangePathButtonOK->setEnabled(!text.isEmpty()); });

    m_changeprogresswindow = sheet(m_changelocationwindow, QStringLiteral("changeprogresswindow"),
                                   QStringLiteral("Moving the vault"), 440);
    auto* progressLayout = new QVBoxLayout(m_changeprogresswindow);
    m_changeprogressinfo = heading(m_changeprogresswindow);
    progressLayout->addWidget(m_changeprogressinfo);
    m_changeprogresslabel = new QLabel(m_changeprogresswindow);
    m_changeprogresslabel->setObjectName(QStringLiteral("changeprogresslabel"));
    m_changeprogress = new QProgressBar(m_changeprogresswindow);
    m_changeprogress->setObjectName(QStringLiteral("changeprogress"));
    m_changeprogress->setRange(0, kProgressSteps);
    auto* stop = new QPushButton(QStringLiteral("Cancel"), m_changeprogresswindow);
    progressLayout->addWidget(m_changeprogresslabel);
    progressLayout->addWidget(m_changeprogress);
    progressLayout->addLayout(buttonRow(nullptr, stop, nullptr));
    connect(stop, &QPushButton::clicked, this, &VaultMaintenance::ClickLocationProgressCancel);
    // Escape or the window's close button must not leave a copy running without its sheet.
    connect(m_changeprogresswindow, &QDialog::rejected, this, [this] {
        if (m_move)
            ClickLocationProgressCancel();
    });
}

std::optional<harddisktable> VaultMaintenance::rememberSelectedRow(const QString& selectAgainText)
{
    const QList<int> rows = m_page.selectedRows();
    if (rows.isEmpty()) {
        m_services.alerts->runAlert(Alert(QStringLiteral("No Item selected"), selectAgainText),
                                    m_page.window());
        return std::nullopt;
    }
    m_currentlocationIndex = rows.constFirst();
    m_currentVault = m_page.tablelist().at(m_currentlocationIndex).name();
    return m_page.tablelist().at(m_currentlocationIndex);
}

std::optional<harddisktable> VaultMaintenance::currentRow() const
{
    // Looked up by name: rows may have moved while a sheet was open.
    for (const harddisktable& row : m_page.tablelist())
        if (row.name() == m_currentVault)
            return row;
    return std::nullopt;
}

bool VaultMaintenance::refuseUnlocked(const harddisktable& row, const QString& text)
{
    if (!row.ismounted())
        return false;
    m_services.alerts->runAlert(Alert(QStringLiteral("Lock first"), text), m_page.window());
    return true;
}

// ---- Resize ----------------------------------------------------------------------------------

void VaultMaintenance::ChangeSize()
{
    const std::optional<harddisktable> row = rememberSelectedRow(
        QStringLiteral("There is no item is selected, please select an item from the list and try again."));
    if (!row || refuseUnlocked(*row, QStringLiteral("You must lock the vault first to perform the resize.")))
        return;
    if (!m_services.local) {
        qCWarning(lcUi) << "the resize dialog is not available";
        return;
    }
    std::optional<QString> password = m_page.myDiskImageController()->RequirePass(row->diskpath());
    if (!password)
        return; // cancelled, or the image can't be read
    m_resizeDialog = resizedisk::showSheet({m_services.alerts, m_services.local}, m_page.window(),
                                           row->disksize(), QString(), row->diskpath(), QString(), *password,
                                           0, resizedisk::kCallerVaultList, m_currentlocationIndex);
    SecretWipe::wipe(password);
}

// ---- Change password -------------------------------------------------------------------------

void VaultMaintenance::ChangePass()
{
    const std::optional<harddisktable> row = rememberSelectedRow(
        QStringLiteral("There is no item is selected, please select an item from the list and try again."));
    if (!row)
        return;
    m_clickChangePassButtonOK->setEnabled(false);
    m_changePassStatus->clear();
    clearPasswordFields();
    m_changePassInfo->setText(QStringLiteral("Change password for vault \"%1\"").arg(row->name()));
    m_changepasswindow->open();
}

void VaultMaintenance::textDidChange(QLineEdit* field)
{
    const bool allTyped = !m_oldPassWord->text().isEmpty() && !m_newPassWord->text().isEmpty() &&
                          !m_repeatPassWord->text().isEmpty();
    const bool match = m_newPassWord->text() == m_repeatPassWord->text();
    if (field == m_newPassWord || field == m_repeatPassWord) {
        item2::showPasswordMatch(m_changePassStatus, match);
        if (!match)
            m_clickChangePassButtonOK->setEnabled(false);
        else if (!m_oldPassWord->text().isEmpty())
            m_clickChangePassButtonOK->setEnabled(true);
    } else if (field == m_oldPassWord && allTyped && match) {
        m_clickChangePassButtonOK->setEnabled(true);
    }
}

std::optional<QString> VaultMaintenance::keychainItemOf(const QString& imagePath)
{
    // Each candidate is checked by the tool while the spinner turns.
    return m_page.myDiskImageController()->passwordItemThatOpens(imagePath, [&](const QString& candidate) {
        return AttachDiskImageController::hdiutilTaskWithCommand(QStringLiteral("imageinfo"), imagePath,
                                                                 {QStringLiteral("-plist")}, candidate)
                   ->runInLocalLoop() == 0;
    });
}

void VaultMaintenance::ClickChangePassOk()
{
    QString newPassword = m_newPassWord->text();
    if (newPassword.isEmpty() || m_repeatPassWord->text().isEmpty()) {
        m_services.alerts->runAlert(
            Alert(QStringLiteral("Password is incorrect"), QStringLiteral("New password must not be empty!")),
            m_changepasswindow);
        return;
    }
    if (newPassword != m_repeatPassWord->text()) {
        m_services.alerts->runAlert(Alert(QStringLiteral("Password is incorrect"),
                                          QStringLiteral("Password does not match the confirm password!")),
                                    m_changepasswindow);
        return;
    }
    const std::optional<harddisktable> row = currentRow();
    if (!row)
        return;
    const QString path = row->diskpath();
    m_changepassani->show();
    m_clickChangePassButtonOK->setEnabled(false);
    // Found while the stored password still opens the image; changed only once the tool has
    // changed the image, so a failed change leaves a stored password that still works.
    const std::optional<QString> item = keychainItemOf(path);
    std::unique_ptr<DiskImageTask> task = AttachDiskImageController::hdiutilTaskWithCommand(
        QStringLiteral("chpass"), path, {}, std::nullopt, m_oldPassWord->text(), newPassword);
    const int status = task->runInLocalLoop();
    m_changepassani->hide();
    m_clickChangePassButtonOK->setEnabled(true);
    if (status != 0) {
        Alert alert(QStringLiteral("Error"), QStringLiteral("Failed to change the vault password."));
        alert.accessoryText = task->failureReason();
        m_services.alerts->runAlert(alert, m_changepasswindow);
        return;
    }
    if (item) {
        KeychainStore* keychain = m_services.unlock.keychain;
        if (!keychain->modifyKeychainItem(*item, KeychainStore::kDiskImagePassword,
                                          KeychainStore::currentUserFullName(), newPassword)) {
            qCWarning(lcUi) << "cannot store the new password of" << path << "under" << *item
                            << keychain->lastError();
            m_services.alerts->runAlert(
                Alert(QStringLiteral("Password changed"),
                      QStringLiteral("The vault password was changed, but the password remembered in your "
                                     "keyring could not be updated (%1). You will be asked for the new "
                                     "password when the vault is unlocked.")
                          .arg(keychain->lastError())),
                m_changepasswindow);
        }
    }
    clearPasswordFields();
    SecretWipe::wipe(newPassword); // the fields let go of it: this is the last copy
    m_changepasswindow->close();
}

void VaultMaintenance::ClickChangePassCancel()
{
    clearPasswordFields();
    m_changepasswindow->close();
}

void VaultMaintenance::clearPasswordFields()
{
    for (QLineEdit* field : {m_oldPassWord, m_newPassWord, m_repeatPassWord})
        SecretField::clear(field);
}

// ---- Change location -------------------------------------------------------------------------

void VaultMaintenance::ChangeLocation()
{
    const std::optional<harddisktable> row = rememberSelectedRow(
        QStringLiteral("There is no item is selected, please select at least one item from the list and try "
                       "again."));
    if (!row ||
        refuseUnlocked(*row, QStringLiteral("You must lock the vault first to perform the operation.")))
        return;
    m_clickChangePathButtonOK->setEnabled(false);
    m_changelocationinfo->setText(QStringLiteral("Move vault \"%1\" to another folder").arg(row->name()));
    m_oldVaultPath->setText(row->diskpath());
    m_oldVaultPath->setCursorPosition(0);
    m_newVaultPath->clear();
    m_changelocationwindow->open();
    m_newVaultPath->setFocus();
}

void VaultMaintenance::ChooseDirectory()
{
    if (!m_services.port)
        return;
    const QString chosen = m_services.port->chooseDirectory(m_changelocationwindow, QDir::homePath());
    if (chosen.isEmpty())
        return;
    m_newVaultPath->setText(chosen);
    m_clickChangePathButtonOK->setEnabled(true);
}

void VaultMaintenance::ClickLocationOk()
{
    if (m_move)
        return;
    const std::optional<harddisktable> row = currentRow();
    if (!row)
        return;
    const QString folder = m_newVaultPath->text();
    if (folder.isEmpty()) {
        m_services.alerts->runAlert(Alert(QStringLiteral("The new location is incorrect"),
                                          QStringLiteral("The new location field cannot be empty!")),
                                    m_changelocationwindow);
        m_changelocationwindow->close();
        return;
    }
    const VaultMove::Request request{row->name(), row->diskpath(), folder};
    // The room check walks the image: off the main thread, with the window still drawn.
    if (const std::optional<VaultMove::Refusal> refusal =
            OffThread::wait([request] { return VaultMove::check(request); })) {
        m_services.alerts->runAlert(Alert(refusal->title, refusal->text), m_changelocationwindow);
        return;
    }
    // The row may say locked while a helper has attached the vault since.
    QString holders;
    if (!m_page.detachVault(*row, &holders)) {
        m_page.showFailedToLock(holders, row->name());
        return;
    }
    m_progressTotal = 0;
    m_changeprogress->setValue(0);
    m_changeprogresslabel->setText(QStringLiteral("Copying.."));
    m_changeprogressinfo->setText(QStringLiteral("Moving vault \"%1\" to \"%2\"").arg(row->name(), folder));
    m_changeprogresswindow->open();
    m_move = std::make_unique<VaultMove>(VaultMoveServices{m_services.settings, m_services.trash->mover()},
                                         request, this);
    m_move->start();
}

void VaultMaintenance::ClickLocationCancel()
{
    m_changelocationwindow->close();
}

void VaultMaintenance::ClickLocationProgressCancel()
{
    if (m_move)
        m_move->cancel(); // ends in moveEnded, which closes both sheets
    else
        m_changeprogresswindow->close();
}

void VaultMaintenance::closeLocationSheets()
{
    m_changeprogresswindow->hide();
    m_changeprogresswindow->close();
    m_changelocationwindow->close();
}

void VaultMaintenance::setProgressMaximum(quint64 total)
{
    m_progressTotal = total;
    m_changeprogress->setValue(0);
}

void VaultMaintenance::setProgressValue(quint64 done)
{
    const quint64 total = std::max<quint64>(m_progressTotal, 1);
    m_changeprogress->setValue(int(std::min<quint64>(done, total) * kProgressSteps / total));
}

void VaultMaintenance::moveStepChanged(VaultMoveStep step, const QString& detail)
{
    if (step == VaultMoveStep::Copying)
        m_changeprogresslabel->setText(QStringLiteral("Copying..(%1)").arg(detail));
    else if (step == VaultMoveStep::Verifying) {
        m_changeprogress->setValue(kProgressSteps);
        m_changeprogresslabel->setText(QStringLiteral("Verifying.."));
    }
}

void VaultMaintenance::moveEnded(const VaultMoveOutcome& outcome)
{
    // Called from inside the move: it goes once the call has returned.
    if (m_move)
        m_move.release()->deleteLater();
    closeLocationSheets();
    switch (outcome.result) {
    case VaultMoveOutcome::Result::Cancelled:
        return;
    case VaultMoveOutcome::Result::Failed:
        m_services.alerts->runAlert(Alert(QStringLiteral("Failed to move the vault"), outcome.message),
                                    m_page.window());
        return;
    case VaultMoveOutcome::Result::Moved:
        break;
    }
    m_page.rowMoved(m_currentVault, outcome.newPath);
    if (!outcome.message.isEmpty())
        m_services.alerts->runAlert(Alert(QStringLiteral("The vault was moved"), outcome.message),
                                    m_page.window());
    const QString url = m_page.remoteVolumeOf(QFileInfo(outcome.newPath).path());
    if (!url.isEmpty())
        m_page.offerShareAutomount(outcome.newPath, url, m_currentVault);
}

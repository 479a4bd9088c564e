#pragma once

#include "app/vaults/item2.h"
#include "app/vaults/resizedisk.h"
#include "core/vault/VaultMove.h"

#include <QObject>
#include <QPointer>
#include <memory>

class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The vault page's maintenance actions on the selected vault and their sheets: resizing (through
// the resize dialog), changing the password and moving the image to another folder. The sheets
// are window-modal dialogs opened without blocking, so tests fill their fields and press their
// buttons.
class VaultMaintenance : public QObject, public VaultMoveObserver
{
    Q_OBJECT

public:
    VaultMaintenance(item2& page, const VaultPageServices& services);
    ~VaultMaintenance() override;

    void ChangeSize();
    void ChangePass();
    void ClickChangePassOk();
    void ClickChangePassCancel();
    void ChangeLocation();
    void ChooseDirectory();
    void ClickLocationOk();
    void ClickLocationCancel();
    void ClickLocationProgressCancel();
    // Live validation of the change-password fields.
    void textDidChange(QLineEdit* field);

    int currentlocationIndex() const { return m_currentlocationIndex; }
    QDialog* changepasswindow() const { return m_changepasswindow; }
    QLabel* ChangePassInfo() const { return m_changePassInfo; }
    QLineEdit* OldPassWord() const { return m_oldPassWord; }
    QLineEdit* NewPassWord() const { return m_newPassWord; }
    QLineEdit* RepeatPassWord() const { return m_repeatPassWord; }
    QLabel* ChangePassStatus() const { return m_changePassStatus; }
    QPushButton* clickChangePassButtonOK() const { return m_clickChangePassButtonOK; }
    QProgressBar* changepassani() const { return m_changepassani; }
    QDialog* changelocationwindow() const { return m_changelocationwindow; }
    QLineEdit* oldVaultPath() const { return m_oldVaultPath; }
    QLineEdit* newVaultPath() const { return m_newVaultPath; }
    QPushButton* clickChangePathButtonOK() const { return m_clickChangePathButtonOK; }
    QDialog* changeprogresswindow() const { return m_changeprogresswindow; }
    QProgressBar* changeprogress() const { return m_changeprogress; }
    QLabel* changeprogresslabel() const { return m_changeprogresslabel; }
    // The running move (its copy is foper(), its timer timercopy()), or null.
    VaultMove* move() const { return m_move.get(); }
    // The resize dialog last opened from this page, while it is open.
    resizedisk* resizeDialog() const { return m_resizeDialog; }

    // VaultMoveObserver
    void setProgressMaximum(quint64 total) override;
    void setProgressValue(quint64 done) override;
    void moveStepChanged(VaultMoveStep step, const QString& detail) override;
    void moveEnded(const VaultMoveOutcome& outcome) override;

private:
    void buildChangePassSheet();
    void buildLocationSheets();
    // The selected row, remembered as the one the action applies to; nothing (after telling the
    // user) when no row is selected.
    std::optional<harddisktable> rememberSelectedRow(const QString& selectAgainText);
    std::optional<harddisktable> currentRow() const;
    bool refuseUnlocked(const harddisktable& row, const QString& text);
    std::optional<QString> keychainItemOf(const QString& imagePath);
    void clearPasswordFields();
    void closeLocationSheets();

    item2& m_page;
    VaultPageServices m_services;
    int m_currentlocationIndex = -1;
    QString m_currentVault;
    QPointer<resizedisk> m_resizeDialog;
    std::unique_ptr<VaultMove> m_move;
    quint64 m_progressTotal = 0;

    QDialog* m_changepasswindow = nullptr;
    QLabel* m_changePassInfo = nullptr;
    QLineEdit* m_oldPassWord = nullptr;
    QLineEdit* m_newPassWord = nullptr;
    QLineEdit* m_repeatPassWord = nullptr;
    QLabel* m_changePassStatus = nullptr;
    QPushButton* m_clickChangePassButtonOK = nullptr;
    QProgressBar* m_changepassani = nullptr;

    QDialog* m_changelocationwindow = nullptr;
    QLabel* m_changelocationinfo = nullptr;
    QLineEdit* m_oldVaultPath = nullptr;
    QLineEdit* m_newVaultPath = nullptr;
    QPushButton* m_clickChangePathButtonOK = nullptr;
    QDialog* m_changeprogresswindow = nullptr;
    QLabel* m_changeprogressinfo = nullptr;
    QProgressBar* m_changeprogress = nullptr;
    QLabel* m_changeprogresslabel = nullptr;
};

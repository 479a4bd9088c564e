#pragma once

#include "app/vaults/CreateSheetPort.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;

// The new-vault sheet as a Qt dialog, with its custom-size and progress sheets. Every control
// carries the object name of the controller's outlet (ValueName, FilePath, PassWord,
// RepeatPassWorld, passwordStatus, PopupButton, RecommendAdvice, PopupSizeButton, myRadioGroup,
// hidemountpoint, keychainbutton, disclosureTriangle, disclosureButton, extraBox, okButton,
// cancelButton, VaultSizeWindow, CustomSize, PopupTypeButton, ProgressWindow, ProgressStatus,
// ProgressBar) plus chooseButton, sizeOkButton, sizeCancelButton and progressCancelButton.
class AddDiskSheet : public QDialog, public CreateSheetPort
{
    Q_OBJECT

public:
    explicit AddDiskSheet(QWidget* parent = nullptr);

    void setClient(CreateSheetClient* client) override { m_client = client; }
    QString text(Field field) const override;
    void setText(Field field, const QString& text) override;
    void setPasswordStatus(const QString& text, const QColor& color) override;
    void setRecommendAdvice(const QString& text) override;
    bool isOkEnabled() const override;
    void setOkEnabled(bool enabled) override;
    void setItems(PopUp popUp, const QStringList& items) override;
    QStringList items(PopUp popUp) const override;
    int selectedIndex(PopUp popUp) const override;
    void selectIndex(PopUp popUp, int index) override;
    void addItem(PopUp popUp, const QString& title) override;
    void removeItem(PopUp popUp, int index) override;
    QString selectedStrength() const override;
    bool isChecked(Check check) const override;
    void setChecked(Check check, bool checked) override;
    bool isDisclosureOpen() const override;
    void setDisclosureOpen(bool open) override;
    void setAdvancedVisible(bool visible) override;
    std::optional<QString> chooseFolder(const QString& startFolder, const QString& prompt) override;
    void present(QWidget* mainWindow) override;
    void dismiss() override { hide(); }
    bool isOpen() const override { return isVisible(); }
    void openSheet(Sheet sheet) override;
    void closeSheet(Sheet sheet) override;
    void setProgressStatus(const QString& text) override;
    void setProgressValue(double value) override;
    QObject* window() override { return this; }
    QObject* sizeWindow() override;

    // Escape and the close button are the sheet's Cancel.
    void reject() override;

private:
    QLineEdit* field(Field field) const;
    QComboBox* popUp(PopUp popUp) const;
    QCheckBox* check(Check check) const;
    void report(void (CreateSheetClient::*action)());
    QDialog* makeSizeSheet();
    QDialog* makeProgressSheet();

    CreateSheetClient* m_client = nullptr;
    QLineEdit* m_name;
    QLineEdit* m_folder;
    QLineEdit* m_password;
    QLineEdit* m_repeat;
    QLabel* m_status;
    QComboBox* m_format;
    QLabel* m_advice;
    QComboBox* m_size;
    QRadioButton* m_weak;
    QRadioButton* m_strong;
    QCheckBox* m_hide;
    QCheckBox* m_keychain;
    QToolButton* m_triangle;
    QPushButton* m_disclosure;
    QGroupBox* m_extra;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QDialog* m_sizeWindow;
    QLineEdit* m_customSize = nullptr;
    QComboBox* m_unit = nullptr;
    QDialog* m_progressWindow;
    QLabel* m_progressStatus = nullptr;
    QProgressBar* m_progressBar = nullptr;
};

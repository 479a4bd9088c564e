#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <optional>

class QObject;
class QWidget;

// What the new-vault sheet reports back. Only user actions are reported, never changes the
// controller makes itself.
class CreateSheetClient
{
public:
    enum class Field
    {
        ValueName,
        FilePath,
        PassWord,
        RepeatPassWorld,
        CustomSize // the number field of the custom-size sheet
    };

    virtual ~CreateSheetClient() = default;
    virtual void textDidChange(Field field) = 0;
    virtual void controlTextDidChange() = 0; // the custom size field was edited
    virtual void GetFilePath() = 0;
    virtual void ClickPopupButton() = 0; // an item of the size pop-up was chosen
    virtual void OkSizeWindow() = 0;
    virtual void CancelSizeWindow() = 0;
    virtual void disclosureButtonPressed() = 0;
    virtual void disclosureTrianglePressed() = 0;
    virtual void ClickKeyChainButton() = 0;
    virtual void CreateDmgFile() = 0;
    virtual void CancelWindow() = 0;
    virtual void ClickCancelVault() = 0;
};

// The new-vault sheet with its custom-size sheet and its progress sheet. Setters never report
// back to the client. A pop-up always has one item selected while it has items.
class CreateSheetPort
{
public:
    using Field = CreateSheetClient::Field;

    enum class PopUp
    {
        Format, // image format
        Size,
        Unit // "GB" / "MB" of the custom-size sheet
    };
    enum class Check
    {
        HideMountPoint,
        Keychain
    };
    enum class Sheet
    {
        CustomSize,
        Progress
    };

    virtual ~CreateSheetPort() = default;

    virtual void setClient(CreateSheetClient* client) = 0;

    virtual QString text(Field field) const = 0;
    virtual void setText(Field field, const QString& text) = 0;
    virtual void setPasswordStatus(const QString& text, const QColor& color) = 0;
    virtual void setRecommendAdvice(const QString& text) = 0;
    virtual bool isOkEnabled() const = 0;
    virtual void setOkEnabled(bool enabled) = 0;

    // Replaces the items and selects the first.
    virtual void setItems(PopUp popUp, const QStringList& items) = 0;
    virtual QStringList items(PopUp popUp) const = 0;
    virtual int selectedIndex(PopUp popUp) const = 0;
    virtual void selectIndex(PopUp popUp, int index) = 0;
    virtual void addItem(PopUp popUp, const QString& title) = 0;
    virtual void removeItem(PopUp popUp, int index) = 0;

    // Title of the selected encryption-strength button ("128-bit" or "256-bit").
    virtual QString selectedStrength() const = 0;
    virtual bool isChecked(Check check) const = 0;
    virtual void setChecked(Check check, bool checked) = 0;

    // The disclosure triangle's state, and the advanced box it shows.
    virtual bool isDisclosureOpen() const = 0;
    virtual void setDisclosureOpen(bool open) = 0;
    virtual void setAdvancedVisible(bool visible) = 0;

    // A modal folder chooser starting in startFolder; nothing when the user cancels.
    virtual std::optional<QString> chooseFolder(const QString& startFolder, const QString& prompt) = 0;

    // The new-vault sheet on the main window (application-modal when there is none).
    virtual void present(QWidget* mainWindow) = 0;
    virtual void dismiss() = 0;
    virtual bool isOpen() const = 0;
    // The custom-size and progress sheets on the new-vault sheet.
    virtual void openSheet(Sheet sheet) = 0;
    virtual void closeSheet(Sheet sheet) = 0;
    virtual void setProgressStatus(const QString& text) = 0;
    // 0 to 100.
    virtual void setProgressValue(double value) = 0;

    // Windows to put alert sheets on.
    virtual QObject* window() = 0;
    virtual QObject* sizeWindow() = 0;
};

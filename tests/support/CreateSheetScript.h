#pragma once

#include "app/vaults/CreateSheetPort.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <functional>

// The new-vault sheet without widgets: it keeps what the controller set, lets a test act as
// the user (type, choose, tick, click) and records the progress shown.
class CreateSheetScript : public CreateSheetPort
{
public:
    // ---- the user's actions ----
    void type(Field f, const QString& value)
    {
        m_text[f] = value;
        if (f == Field::CustomSize)
            m_client->controlTextDidChange();
        else
            m_client->textDidChange(f);
    }
    // Name, folder, password and confirmation typed in that order.
    void fill(const QString& name, const QString& folder, const QString& password,
              const QString& confirmation)
    {
        type(Field::ValueName, name);
        type(Field::FilePath, folder);
        type(Field::PassWord, password);
        type(Field::RepeatPassWorld, confirmation);
    }
    // Chooses the item of the pop-up with that title; false when there is none.
    bool choose(PopUp p, const QString& title)
    {
        const int index = int(m_items[p].indexOf(title));
        if (index < 0)
            return false;
        m_selected[p] = index;
        if (p == PopUp::Size)
            m_client->ClickPopupButton();
        return true;
    }
    void tick(Check c, bool on)
    {
        m_checked[c] = on;
        if (c == Check::Keychain)
            m_client->ClickKeyChainButton();
    }
    void chooseStrength(const QString& title) { m_strength = title; }
    void clickOk() { m_client->CreateDmgFile(); }

    // ---- what the controller sees and sets ----
    void setClient(CreateSheetClient* client) override { m_client = client; }
    QString text(Field f) const override { return m_text.value(f); }
    void setText(Field f, const QString& value) override { m_text[f] = value; }
    void setPasswordStatus(const QString& text, const QColor& color) override
    {
        passwordStatus = text;
        passwordStatusColor = color;
    }
    void setRecommendAdvice(const QString& text) override { recommendAdvice = text; }
    bool isOkEnabled() const override { return m_okEnabled; }
    void setOkEnabled(bool enabled) override { m_okEnabled = enabled; }
    void setItems(PopUp p, const QStringList& items) override
    {
        m_items[p] = items;
        m_selected[p] = items.isEmpty() ? -1 : 0;
    }
    QStringList items(PopUp p) const override { return m_items.value(p); }
    int selectedIndex(PopUp p) const override { return m_selected.value(p, -1); }
    void selectIndex(PopUp p, int index) override { m_selected[p] = index; }
    void addItem(PopUp p, const QString& title) override { m_items[p].append(title); }
    void removeItem(PopUp p, int index) override
    {
        m_items[p].removeAt(index);
        if (m_selected[p] >= m_items[p].size())
            m_selected[p] = int(m_items[p].size()) - 1;
    }
    QString selectedStrength() const override { return m_strength; }
    bool isChecked(Check c) const override { return m_checked.value(c, c == Check::HideMountPoint); }
    void setChecked(Check c, bool on) override { m_checked[c] = on; }
    bool isDisclosureOpen() const override { return m_disclosureOpen; }
    void setDisclosureOpen(bool open) override { m_disclosureOpen = open; }
    void setAdvancedVisible(bool visible) override { advancedVisible = visible; }
    std::optional<QString> chooseFolder(const QString& startFolder, const QString& prompt) override
    {
        chooserStarts.append(startFolder);
        chooserPrompts.append(prompt);
        return folderAnswer;
    }
    void present(QWidget*) override { m_open = true; }
    void dismiss() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void openSheet(Sheet s) override { m_sheetOpen[s] = true; }
    void closeSheet(Sheet s) override { m_sheetOpen[s] = false; }
    bool isSheetOpen(Sheet s) const { return m_sheetOpen.value(s); }
    void setProgressStatus(const QString& text) override { progressStatuses.append(text); }
    void setProgressValue(double value) override
    {
        progressValues.append(value);
        if (onProgress)
            onProgress(value);
    }
    QObject* window() override { return &m_window; }
    QObject* sizeWindow() override { return &m_sizeWindow; }

    QString passwordStatus;
    QColor passwordStatusColor;
    QString recommendAdvice;
    bool advancedVisible = false;
    std::optional<QString> folderAnswer;
    QStringList chooserStarts;
    QStringList chooserPrompts;
    QStringList progressStatuses;
    QList<double> progressValues;
    std::function<void(double)> onProgress; // runs after every progress value shown

private:
    CreateSheetClient* m_client = nullptr;
    QHash<Field, QString> m_text;
    QHash<PopUp, QStringList> m_items;
    QHash<PopUp, int> m_selected;
    QHash<Check, bool> m_checked;
    QHash<Sheet, bool> m_sheetOpen;
    QString m_strength = QStringLiteral("256-bit");
    bool m_okEnabled = true;
    bool m_disclosureOpen = false;
    bool m_open = false;
    QObject m_window;
    QObject m_sizeWindow;
};

#pragma once

#include "app/items/scantableviewmodel.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

// The scan's sheet: the offered applications (check box, name, size, description), the vault
// to protect them into, a status text, the measuring line with its spinner, OK and Cancel.
class scanappwindow : public QDialog
{
    Q_OBJECT
public:
    enum Column
    {
        CheckColumn,
        NameColumn,
        SizeColumn,
        DescriptionColumn
    };

    explicit scanappwindow(QWidget* parent = nullptr);

    void clearRows();
    void appendRow(const scantableviewmodel& row);
    int rowCount() const;
    void setChecked(int row, bool checked);
    bool isChecked(int row) const;
    // The measuring line and the spinner; an empty text hides both.
    void setMeasuring(const QString& text);

    QTableWidget* table() const { return m_table; }
    QComboBox* RedirectButtonTwo() const { return m_redirectButtonTwo; }
    QLabel* AvaCapacityTwo() const { return m_avaCapacityTwo; }
    QLabel* measuringLine() const { return m_measuringLine; }
    QProgressBar* spinner() const { return m_spinner; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

Q_SIGNALS:
    void okClicked();
    void cancelClicked();

private:
    QTableWidget* m_table;
    QComboBox* m_redirectButtonTwo;
    QLabel* m_avaCapacityTwo;
    QLabel* m_measuringLine;
    QProgressBar* m_spinner;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};

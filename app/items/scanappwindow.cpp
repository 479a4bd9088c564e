#include "app/items/scanappwindow.h"

#include "app/items/ScanSheetPort.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

void QtScanSheetPort::showScanSheet(QDialog* sheet, QWidget* parent)
{
    if (parent && sheet->parentWidget() != parent->window())
        sheet->setParent(parent->window(), sheet->windowFlags());
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

void QtScanSheetPort::endScanSheet(QDialog* sheet)
{
    sheet->hide();
}

scanappwindow::scanappwindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("scanappwindow"));
    setWindowTitle(QStringLiteral("Scan"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Select the applications whose data you want to protect:"), this));

    m_table = new QTableWidget(0, 4, this);
    m_table->setObjectName(QStringLiteral("scantable"));
    m_table->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Description")});
    m_table->verticalHeader()->hide();
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(CheckColumn, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(DescriptionColumn, QHeaderView::Stretch);
    m_table->setColumnWidth(NameColumn, 170);
    m_table->setColumnWidth(SizeColumn, 80);
    m_table->setMinimumSize(620, 260);
    layout->addWidget(m_table);

    auto* measuring = new QHBoxLayout;
    m_spinner = new QProgressBar(this);
    m_spinner->setObjectName(QStringLiteral("scanSpinner"));
    m_spinner->setRange(0, 0);
    m_spinner->setMaximumWidth(80);
    m_measuringLine = new QLabel(this);
    m_measuringLine->setObjectName(QStringLiteral("measuringLine"));
    measuring->addWidget(m_spinner);
    measuring->addWidget(m_measuringLine, 1);
    layout->addLayout(measuring);

    auto* vault = new QHBoxLayout;
    auto* vaultLabel = new QLabel(QStringLiteral("Vault:"), this);
    m_redirectButtonTwo = new QComboBox(this);
    m_redirectButtonTwo->setObjectName(QStringLiteral("RedirectButtonTwo"));
    vaultLabel->setBuddy(m_redirectButtonTwo);
    m_avaCapacityTwo = new QLabel(this);
    m_avaCapacityTwo->setObjectName(QStringLiteral("AvaCapacityTwo"));
    vault->addWidget(vaultLabel);
    vault->addWidget(m_redirectButtonTwo, 1);
    vault->addWidget(m_avaCapacityTwo, 1);
    layout->addLayout(vault);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("scanCancel"));
    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("scanOK"));
    m_okButton->setDefault(true);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_okButton);
    layout->addLayout(buttons);
    connect(m_okButton, &QPushButton::clicked, this, &scanappwindow::okClicked);
    connect(m_cancelButton, &QPushButton::clicked, this, &scanappwindow::cancelClicked);
}

void scanappwindow::clearRows()
{
    m_table->setRowCount(0);
}

void scanappwindow::appendRow(const scantableviewmodel& row)
{
    const int index = m_table->rowCount();
    m_table->insertRow(index);
    auto* check = new QTableWidgetItem;
    check->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    check->setCheckState(row.isChecked() ? Qt::Checked : Qt::Unchecked);
    check->setData(Qt::AccessibleTextRole, row.name());
    m_table->setItem(index, CheckColumn, check);
    m_table->setItem(index, NameColumn, new QTableWidgetItem(row.name()));
    auto* size = new QTableWidgetItem(row.foldersize());
    size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_table->setItem(index, SizeColumn, size);
    m_table->setItem(index, DescriptionColumn, new QTableWidgetItem(row.description()));
    if (!row.isTickable()) {
        // Greyed whole: the note takes the description's place, the hint says how to allow it.
        m_table->item(index, DescriptionColumn)->setText(row.sandboxNote());
        check->setCheckState(Qt::Unchecked);
        for (int column = CheckColumn; column <= DescriptionColumn; ++column) {
            QTableWidgetItem* item = m_table->item(index, column);
            item->setFlags(Qt::NoItemFlags);
            item->setToolTip(row.sandboxHint().isEmpty() ? row.sandboxNote() : row.sandboxHint());
        }
        check->setData(Qt::AccessibleDescriptionRole, row.sandboxNote());
    }
}

int scanappwindow::rowCount() const
{
    return m_table->rowCount();
}

void scanappwindow::setChecked(int row, bool checked)
{
    if (QTableWidgetItem* item = m_table->item(row, CheckColumn); item && item->flags() & Qt::ItemIsEnabled)
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool scanappwindow::isChecked(int row) const
{
    const QTableWidgetItem* item = m_table->item(row, CheckColumn);
    return item && item->checkState() == Qt::Checked;
}

void scanappwindow::setMeasuring(const QString& text)
{
    m_measuringLine->setText(text);
    m_spinner->setVisible(!text.isEmpty());
}

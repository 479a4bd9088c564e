#include "ui/QtAlertPort.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

int QtAlertPort::runAlert(const Alert& alert, QObject* window)
{
    QWidget* parent = qobject_cast<QWidget*>(window);
    QMessageBox box(parent);
    box.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    switch (alert.style) {
    case Alert::Style::Informational:
        box.setIcon(QMessageBox::Information);
        break;
    case Alert::Style::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Alert::Style::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    QList<QPushButton*> buttons;
    for (const QString& title : titles)
        buttons.append(
            box.addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    box.setDefaultButton(buttons.first());
    // Escape answers as closing does: the last button. Qt picks none when several could cancel.
    box.setEscapeButton(buttons.last());
    if (!alert.accessoryText.isEmpty()) {
        auto* accessory = new QLabel(alert.accessoryText, &box);
        accessory->setWordWrap(true);
        accessory->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (!alert.accessoryFont.isEmpty()) {
            QFont font = accessory->font();
            font.setFamily(alert.accessoryFont);
            accessory->setFont(font);
        }
        if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
            grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
    const qsizetype index = buttons.indexOf(qobject_cast<QPushButton*>(box.clickedButton()));
    // Closing the box without a button counts as the last button, the usual "Cancel" slot.
    return AlertPort::kFirstButton + int(index >= 0 ? index : buttons.size() - 1);
}

#include "ui/CheckNotice.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

bool runCheckNotice(const QString& namePrefix, const QString& title, const QString& text, QWidget* parent,
                    Qt::WindowModality modality)
{
    QDialog notice(parent);
    notice.setObjectName(namePrefix + QStringLiteral("window"));
    notice.setWindowTitle(title);
    notice.setWindowModality(modality);
    auto* layout = new QVBoxLayout(&notice);
    auto* label = new QLabel(text, &notice);
    label->setObjectName(namePrefix + QStringLiteral("Text"));
    label->setWordWrap(true);
    label->setMinimumWidth(380);
    auto* check = new QCheckBox(QStringLiteral("Do not show this message again"), &notice);
    check->setObjectName(namePrefix + QStringLiteral("Check"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &notice);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &notice, &QDialog::accept);
    layout->addWidget(label);
    layout->addWidget(check);
    layout->addWidget(buttons);
    notice.exec();
    return check->isChecked();
}

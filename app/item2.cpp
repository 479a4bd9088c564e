#include "app/item2.h"

#include <QLabel>
#include <QVBoxLayout>

item2::item2(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("item2"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Your vaults appear here."), this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
}

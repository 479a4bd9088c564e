#include "app/items/item1.h"

#include <QLabel>
#include <QVBoxLayout>

item1::item1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("item1"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Protected applications and folders appear here."), this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
}

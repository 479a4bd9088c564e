#include "ui/BubbleStyle.h"

#include "ui/AttachedWindow.h"

#include <QPalette>
#include <QWidget>

void BubbleStyle::apply(AttachedWindow* bubble)
{
    bubble->setBorderColor(Qt::white);
    bubble->setBackgroundColor(background());
    bubble->setViewMargin(5);
    bubble->setBorderWidth(5);
    bubble->setCornerRadius(10);
}

void BubbleStyle::setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

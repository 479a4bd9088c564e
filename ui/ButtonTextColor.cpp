#include "ui/ButtonTextColor.h"

#include <QAbstractButton>

void ButtonTextColor::apply(QAbstractButton* button, const QColor& color)
{
    if (!button)
        return;
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, color);
    palette.setColor(QPalette::WindowText, color);
    button->setPalette(palette);
}

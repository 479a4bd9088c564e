#pragma once

#include <QColor>

class QAbstractButton;

// Sets the text colour of a push button or check box without touching its other palette roles.
class ButtonTextColor
{
public:
    static void apply(QAbstractButton* button, const QColor& color);
};

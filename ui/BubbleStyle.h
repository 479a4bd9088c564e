#pragma once

#include <QColor>

class AttachedWindow;
class QWidget;

// The look every tip, help and warning bubble of the main window shares: a white border and
// white text on a dark, nearly opaque background.
class BubbleStyle
{
public:
    static QColor background() { return QColor::fromRgbF(0.2f, 0.2f, 0.2f, 0.95f); }
    // Border, background, margin 5, border width 5, corner radius 10; the arrow is the caller's.
    static void apply(AttachedWindow* bubble);
    // Text of labels, check boxes and buttons in the given colour.
    static void setTextColour(QWidget* widget, const QColor& colour);
};

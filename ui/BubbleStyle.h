#pragma once

#include <QColor>
#include <QPointF>
#include <QPointer>

class AttachedWindow;
class QPushButton;
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

    // A bubble in this style holding view beside point of window, shown; with an arrow of that
    // height (base 15, round corner beside it) when the height is above 0. Null for a null view.
    static AttachedWindow* show(QWidget* view, const QPointF& point, QWidget* window, int side,
                                double distance, double arrowHeight);
    // Return, Enter and Escape in the bubble press ok (made its default button), and so does
    // Escape in the window it points into while the bubble lives: a bubble shows without taking
    // the keyboard's focus, so a keyboard user can dismiss it from where they are.
    static void answerFromKeyboard(AttachedWindow* bubble, QPushButton* ok);
    // Closes and deletes the bubble, if there is one; its view stays for the next time.
    static void close(QPointer<AttachedWindow>& bubble);
};

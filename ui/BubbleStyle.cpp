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

AttachedWindow* BubbleStyle::show(QWidget* view, const QPointF& point, QWidget* window, int side,
                                  double distance, double arrowHeight)
{
    AttachedWindow* bubble = AttachedWindow::create(view, point, window, side, distance);
    if (!bubble)
        return nullptr;
    apply(bubble);
    bubble->setHasArrow(arrowHeight > 0);
    if (arrowHeight > 0) {
        bubble->setDrawsRoundCornerBesideArrow(true);
        bubble->setArrowBaseWidth(15);
        bubble->setArrowHeight(arrowHeight);
    }
    bubble->show();
    return bubble;
}

void BubbleStyle::close(QPointer<AttachedWindow>& bubble)
{
    if (bubble) {
        bubble->close();
        delete bubble.data();
    }
    bubble = nullptr;
}

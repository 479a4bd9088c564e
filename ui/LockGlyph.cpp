#include "ui/LockGlyph.h"

#include <QPainter>
#include <QPainterPath>

void LockGlyph::paint(QPainter& painter, const QRectF& box, bool open)
{
    painter.save();
    painter.translate(box.topLeft());
    painter.scale(box.width() / 28.0, box.height() / 48.0);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 4));
    painter.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    // An open lock's shackle is lifted out of the body on the left.
    const qreal lift = open ? 10 : 0;
    shackle.moveTo(6, 32 - lift);
    shackle.lineTo(6, 10 - lift);
    shackle.arcTo(QRectF(6, -lift, 16, 16), 180, -180);
    shackle.lineTo(22, 32);
    painter.drawPath(shackle);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(open ? QColor(40, 170, 80) : QColor(200, 60, 50));
    painter.drawRoundedRect(QRectF(0, 26, 28, 22), 3, 3);
    painter.restore();
}

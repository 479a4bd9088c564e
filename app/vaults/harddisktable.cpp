#include "app/vaults/harddisktable.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QIcon driveIcon(bool open)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // The drive.
    painter.setPen(QPen(QColor(90, 90, 96), 2));
    painter.setBrush(QColor(196, 198, 204));
    painter.drawRoundedRect(QRectF(4, 22, 56, 30), 6, 6);
    painter.setBrush(open ? QColor(40, 170, 80) : QColor(150, 150, 150));
    painter.drawEllipse(QPointF(50, 44), 3, 3);
    // The lock, open or shut.
    painter.setPen(QPen(QColor(60, 60, 60), 4));
    painter.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    // An open lock's shackle is lifted out of the body on the left.
    const qreal lift = open ? 10 : 0;
    shackle.moveTo(20, 34 - lift);
    shackle.lineTo(20, 12 - lift);
    shackle.arcTo(QRectF(20, 2 - lift, 16, 16), 180, -180);
    shackle.lineTo(36, 34);
    painter.drawPath(shackle);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(open ? QColor(40, 170, 80) : QColor(200, 60, 50));
    painter.drawRoundedRect(QRectF(14, 28, 28, 22), 3, 3);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

QIcon harddisktable::mountedIcon()
{
    static const QIcon icon = driveIcon(true);
    return icon;
}

QIcon harddisktable::unmountedIcon()
{
    static const QIcon icon = driveIcon(false);
    return icon;
}

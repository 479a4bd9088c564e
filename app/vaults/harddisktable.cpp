#include "app/vaults/harddisktable.h"

#include "ui/LockGlyph.h"

#include <QPainter>
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
    LockGlyph::paint(painter, QRectF(14, 2, 28, 48), open);
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

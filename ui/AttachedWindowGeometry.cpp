#include "ui/AttachedWindowGeometry.h"

#include <QTransform>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The single conversion between Qt's coordinates and the y-up coordinates the rules are written
// in: a mirror about the line y = height / 2. It is its own inverse. Global coordinates use
// height 0, a window's own coordinates its height.
QTransform yFlip(double height)
{
    return QTransform(1, 0, 0, -1, 0, height);
}

enum class Edge
{
    Top,
    Right,
    Bottom,
    Left
};

Edge arrowEdge(int side)
{
    switch (side) {
    case 0:
    case 4:
    case 5:
        return Edge::Right;
    case 2:
    case 6:
    case 7:
        return Edge::Left;
    case 3:
    case 8:
    case 9:
        return Edge::Bottom;
    default:
        return Edge::Top;
    }
}

bool arrowWidensWindow(int side)
{
    const Edge edge = arrowEdge(side);
    return edge == Edge::Left || edge == Edge::Right;
}

// Whole pixels for the window's size; a tolerance keeps 104.00000001 from becoming 105.
double wholePixelsUp(double v)
{
    return std::ceil(v - 1e-6);
}

// Appends a quarter circle turning clockwise (y up) from the angle `from` (degrees, counter-clockwise
// from the x axis), or a plain corner when the radius is 0.
void appendCorner(QPainterPath& path, const QPointF& corner, const QPointF& centre, double radius,
                  double from)
{
    if (radius <= 0) {
        path.lineTo(corner);
        return;
    }
    // QPainterPath measures angles for y down; negating them gives the y-up sense.
    path.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), -from, 90);
}

} // namespace

double AttachedWindowGeometry::arrowInset(const AttachedWindowMetrics& metrics)
{
    return metrics.arrowBaseWidth / 2 + (metrics.drawsRoundCornerBesideArrow ? metrics.cornerRadius : 0.0);
}

int AttachedWindowGeometry::automaticSide(const QSizeF& viewSize, const QPointF& point, double distance,
                                          const AttachedWindowMetrics& metrics, const QRectF& screenFrame,
                                          const QRectF& attachedFrame)
{
    const QTransform flip = yFlip(0);
    const QPointF p = flip.map(point);
    const QRectF screen = flip.mapRect(screenFrame);
    const QRectF frame = attachedFrame.isNull() ? screen : flip.mapRect(attachedFrame);
    const double w = viewSize.width() + 2 * metrics.viewMargin;
    const double h = viewSize.height() + 2 * metrics.viewMargin;
    const double e = distance + metrics.arrowHeight;
    const double i = arrowInset(metrics);
    // With y up, QRectF's top() is the lowest y and bottom() the highest.
    const double screenBottom = screen.top();
    const double screenTop = screen.bottom();
    const double frameBottom = frame.top();
    const double frameTop = frame.bottom();

    int side = 1;
    if (p.y() - h - e >= screenBottom)
        side = 1;
    else if (p.x() + w + e <= screen.right())
        side = 2;
    else if (p.x() - w - e >= screen.left())
        side = 0;
    else if (p.y() + h + e <= screenTop)
        side = 3;

    if (side == 0 || side == 2) {
        if (frameBottom <= p.y() - h / 2 && frameTop <= p.y() + h / 2 && p.y() - h + i >= screenBottom)
            side = side == 0 ? 5 : 7;
        else if (frameBottom > p.y() - h / 2 && p.y() + h - i <= screenTop)
            side = side == 0 ? 4 : 6;
    } else {
        if (frame.left() <= p.x() - w / 2 && frame.right() <= p.x() + w / 2 && p.x() - w + i >= screen.left())
            side = side == 1 ? 10 : 8;
        else if (frame.left() > p.x() - w / 2 && p.x() + w - i <= screen.right())
            side = side == 1 ? 11 : 9;
    }
    return side;
}

AttachedWindowGeometry::Layout AttachedWindowGeometry::layout(const QSizeF& viewSize, const QPointF& point,
                                                              int side, double distance,
                                                              const AttachedWindowMetrics& metrics)
{
    const double m = metrics.viewMargin;
    const double a = metrics.arrowHeight;
    QRectF view(QPointF(m, m), viewSize);
    double w = viewSize.width() + 2 * m;
    double h = viewSize.height() + 2 * m;
    if (arrowWidensWindow(side)) {
        w += a;
        if (side == 2 || side == 6 || side == 7)
            view.translate(a, 0);
    } else {
        h += a;
        if (side == 3 || side == 8 || side == 9)
            view.translate(0, a);
    }
    w = wholePixelsUp(w);
    h = wholePixelsUp(h);

    const QPointF p = yFlip(0).map(point);
    const double px = p.x();
    const double py = p.y();
    const double d = distance;
    const double i = arrowInset(metrics);
    QPointF origin;
    switch (side) {
    case 0:
        origin = {px - w - d, py - h / 2};
        break;
    case 4:
        origin = {px - w - d, py - i};
        break;
    case 5:
        origin = {px - w - d, py - (h - i)};
        break;
    case 2:
        origin = {px + d, py - h / 2};
        break;
    case 6:
        origin = {px + d, py - i};
        break;
    case 7:
        origin = {px + d, py - (h - i)};
        break;
    case 3:
        origin = {px - w / 2, py + d};
        break;
    case 8:
        origin = {px - (w - i), py + d};
        break;
    case 9:
        origin = {px - i, py + d};
        break;
    case 10:
        origin = {px - (w - i), py - h - d};
        break;
    case 11:
        origin = {px - i, py - h - d};
        break;
    default: // 1
        origin = {px - w / 2, py - h - d};
        break;
    }

    const QRectF frame = yFlip(0).mapRect(QRectF(origin, QSizeF(w, h)));
    Layout result;
    result.windowFrame =
        QRect(int(std::floor(frame.x() + 0.5)), int(std::floor(frame.y() + 0.5)), int(w), int(h));
    result.viewFrame = yFlip(h).mapRect(view);
    return result;
}

QPainterPath AttachedWindowGeometry::bubblePath(const Layout& layout, int side,
                                                const AttachedWindowMetrics& metrics)
{
    const QTransform flip = yFlip(layout.windowFrame.height());
    const double m = metrics.viewMargin;
    const QRectF content = flip.mapRect(layout.viewFrame).adjusted(-m, -m, m, m);
    // y up from here on: content.top() is the lower edge, content.bottom() the upper one.
    const double cl = content.left();
    const double cr = content.right();
    const double cb = content.top();
    const double ct = content.bottom();
    const double left = std::ceil(cl + 0.5);
    const double right = std::floor(cr - 0.5);
    const double bottom = std::ceil(cb + 0.5);
    const double top = std::floor(ct - 0.5);

    const double radius =
        std::clamp(metrics.cornerRadius, 0.0, std::max(0.0, std::min(right - left, top - bottom) / 2));
    double rTL = radius, rTR = radius, rBR = radius, rBL = radius;
    if (!metrics.drawsRoundCornerBesideArrow) {
        switch (side) {
        case 7:
        case 11:
            rTL = 0;
            break;
        case 5:
        case 10:
            rTR = 0;
            break;
        case 4:
        case 8:
            rBR = 0;
            break;
        case 6:
        case 9:
            rBL = 0;
            break;
        default:
            break;
        }
    }

    // The tip: centred on its edge for sides 0-3, otherwise the inset away from the window's end of
    // the edge, and arrowHeight beyond the content edge so that it touches the window's edge.
    const Edge edge = arrowEdge(side);
    const double a = metrics.arrowHeight;
    const double i = arrowInset(metrics);
    double along = 0;
    switch (side) {
    case 0:
    case 2:
        along = (cb + ct) / 2;
        break;
    case 1:
    case 3:
        along = (cl + cr) / 2;
        break;
    case 4:
    case 6:
        along = cb + i;
        break;
    case 5:
    case 7:
        along = ct - i;
        break;
    case 9:
    case 11:
        along = cl + i;
        break;
    default: // 8, 10
        along = cr - i;
        break;
    }
    // The base lies on the snapped edge and never reaches into a corner arc.
    const double half = metrics.arrowBaseWidth / 2;
    auto base = [&](double lowLimit, double highLimit) {
        const double low = std::clamp(along - half, lowLimit, std::max(lowLimit, highLimit));
        const double high = std::clamp(along + half, low, std::max(low, highLimit));
        return std::pair{low, high};
    };
    const bool arrow = metrics.hasArrow;

    QPainterPath path;
    path.moveTo(left, top - rTL);
    appendCorner(path, {left, top}, {left + rTL, top - rTL}, rTL, 180);
    if (arrow && edge == Edge::Top) {
        const auto [low, high] = base(left + rTL, right - rTR);
        path.lineTo(low, top);
        path.lineTo(along, ct + a);
        path.lineTo(high, top);
    }
    path.lineTo(right - rTR, top);
    appendCorner(path, {right, top}, {right - rTR, top - rTR}, rTR, 90);
    if (arrow && edge == Edge::Right) {
        const auto [low, high] = base(bottom + rBR, top - rTR);
        path.lineTo(right, high);
        path.lineTo(cr + a, along);
        path.lineTo(right, low);
    }
    path.lineTo(right, bottom + rBR);
    appendCorner(path, {right, bottom}, {right - rBR, bottom + rBR}, rBR, 0);
    if (arrow && edge == Edge::Bottom) {
        const auto [low, high] = base(left + rBL, right - rBR);
        path.lineTo(high, bottom);
        path.lineTo(along, cb - a);
        path.lineTo(low, bottom);
    }
    path.lineTo(left + rBL, bottom);
    appendCorner(path, {left, bottom}, {left + rBL, bottom + rBL}, rBL, 270);
    if (arrow && edge == Edge::Left) {
        const auto [low, high] = base(bottom + rBL, top - rTL);
        path.lineTo(left, low);
        path.lineTo(cl - a, along);
        path.lineTo(left, high);
    }
    path.closeSubpath();
    return flip.map(path);
}

double AttachedWindowGeometry::clampedCornerRadius(double radius, const QSizeF& viewSize,
                                                   const AttachedWindowMetrics& metrics)
{
    const double limit =
        (2 * metrics.viewMargin + std::min(viewSize.width(), viewSize.height()) - metrics.arrowBaseWidth) / 2;
    return std::max(0.0, std::min(radius, limit));
}

double AttachedWindowGeometry::clampedArrowBaseWidth(double width, const QSizeF& viewSize,
                                                     const AttachedWindowMetrics& metrics)
{
    double limit =
        2 * metrics.viewMargin + std::min(viewSize.width(), viewSize.height()) - metrics.cornerRadius;
    if (metrics.drawsRoundCornerBesideArrow)
        limit -= metrics.cornerRadius;
    // A negative width would turn the arrow inside out.
    return std::max(0.0, std::min(width, limit));
}

double AttachedWindowGeometry::clampedBorderWidth(double width, const AttachedWindowMetrics& metrics)
{
    return std::max(0.0, std::min(width, metrics.viewMargin));
}

#include "ui/AttachedWindowGeometry.h"

#include <QPolygonF>
#include <QTest>
#include <cmath>

namespace {

// A 100 x 50 view with the default metrics: content 104 x 54, arrow 16, off-centre inset 18.
const QSizeF kView(100, 50);
const QPointF kPoint(500, 400);

enum Corner
{
    None,
    TopLeft,
    TopRight,
    BottomRight,
    BottomLeft
};

// The vertex of the outline farthest out on the arrow's side: the arrow's tip.
QPointF tipOf(const QPainterPath& path, int side)
{
    const QPolygonF polygon = path.toFillPolygon();
    QPointF best = polygon.first();
    for (const QPointF& p : polygon) {
        const bool further = (side == 0 || side == 4 || side == 5)   ? p.x() > best.x()
                             : (side == 2 || side == 6 || side == 7) ? p.x() < best.x()
                             : (side == 3 || side == 8 || side == 9) ? p.y() > best.y()
                                                                     : p.y() < best.y();
        if (further)
            best = p;
    }
    return best;
}

// Where the tip must be: the distance away from the point, towards the bubble.
QPointF expectedTip(int side, double distance)
{
    switch (side) {
    case 0:
    case 4:
    case 5:
        return kPoint + QPointF(-distance, 0);
    case 2:
    case 6:
    case 7:
        return kPoint + QPointF(distance, 0);
    case 3:
    case 8:
    case 9:
        return kPoint + QPointF(0, -distance);
    default:
        return kPoint + QPointF(0, distance);
    }
}

} // namespace

class TestAttachedWindowGeometry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placesTheWindowOnEachSide_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<double>("distance");
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QPointF>("viewOrigin");
        // Worked out by hand in screen coordinates (y down) for the point (500, 400).
        QTest::newRow("0 left, centred") << 0 << 10.0 << QRect(370, 373, 120, 54) << QPointF(2, 2);
        QTest::newRow("1 below, centred") << 1 << 10.0 << QRect(448, 410, 104, 70) << QPointF(2, 18);
        QTest::newRow("1 below at distance 1") << 1 << 1.0 << QRect(448, 401, 104, 70) << QPointF(2, 18);
        QTest::newRow("2 right, centred") << 2 << 10.0 << QRect(510, 373, 120, 54) << QPointF(18, 2);
        QTest::newRow("3 above, centred") << 3 << 10.0 << QRect(448, 320, 104, 70) << QPointF(2, 2);
        QTest::newRow("4 left, upwards") << 4 << 10.0 << QRect(370, 364, 120, 54) << QPointF(2, 2);
        QTest::newRow("5 left, downwards") << 5 << 10.0 << QRect(370, 382, 120, 54) << QPointF(2, 2);
        QTest::newRow("6 right, upwards") << 6 << 10.0 << QRect(510, 364, 120, 54) << QPointF(18, 2);
        QTest::newRow("7 right, downwards") << 7 << 10.0 << QRect(510, 382, 120, 54) << QPointF(18, 2);
        QTest::newRow("8 above, leftwards") << 8 << 10.0 << QRect(414, 320, 104, 70) << QPointF(2, 2);
        QTest::newRow("9 above, rightwards") << 9 << 10.0 << QRect(482, 320, 104, 70) << QPointF(2, 2);
        QTest::newRow("10 below, leftwards") << 10 << 10.0 << QRect(414, 410, 104, 70) << QPointF(2, 18);
        QTest::newRow("11 below, rightwards") << 11 << 10.0 << QRect(482, 410, 104, 70) << QPointF(2, 18);
    }
    void placesTheWindowOnEachSide()
    {
        QFETCH(int, side);
        QFETCH(double, distance);
        QFETCH(QRect, frame);
        QFETCH(QPointF, viewOrigin);
        const auto layout = AttachedWindowGeometry::layout(kView, kPoint, side, distance, {});
        QCOMPARE(layout.windowFrame, frame);
        QCOMPARE(layout.viewFrame, QRectF(viewOrigin, kView));
    }

    void pointsTheArrowAtThePoint_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<double>("distance");
        QTest::addColumn<bool>("roundBesideArrow");
        QTest::addColumn<double>("radius");
        for (int side = 0; side < 12; ++side) {
            QTest::addRow("side %d", side) << side << 10.0 << true << 8.0;
            QTest::addRow("side %d, square beside arrow", side) << side << 25.0 << false << 8.0;
            QTest::addRow("side %d, no corner radius", side) << side << 0.0 << true << 0.0;
        }
        QTest::newRow("side 1 at distance 1") << 1 << 1.0 << true << 8.0;
    }
    void pointsTheArrowAtThePoint()
    {
        QFETCH(int, side);
        QFETCH(double, distance);
        QFETCH(bool, roundBesideArrow);
        QFETCH(double, radius);
        AttachedWindowMetrics metrics;
        metrics.drawsRoundCornerBesideArrow = roundBesideArrow;
        metrics.cornerRadius = radius;
        const auto layout = AttachedWindowGeometry::layout(kView, kPoint, side, distance, metrics);
        const QPainterPath path = AttachedWindowGeometry::bubblePath(layout, side, metrics);
        QCOMPARE(layout.windowFrame.topLeft() + tipOf(path, side), expectedTip(side, distance));
        // Nothing of the bubble lies outside its window.
        QVERIFY(QRectF(QPointF(0, 0), layout.windowFrame.size()).contains(path.boundingRect()));
    }

    void snapsTheEdgesToWholePixels_data()
    {
        QTest::addColumn<double>("margin");
        QTest::addColumn<QRectF>("box");
        // The edges move inwards to whole pixels: by 1 on whole numbers, less on fractions.
        QTest::newRow("whole margin") << 2.0 << QRectF(QPointF(1, 17), QPointF(103, 69));
        QTest::newRow("fractional margin") << 2.3 << QRectF(QPointF(1, 17), QPointF(104, 70));
    }
    void snapsTheEdgesToWholePixels()
    {
        QFETCH(double, margin);
        QFETCH(QRectF, box);
        AttachedWindowMetrics metrics;
        metrics.viewMargin = margin;
        metrics.hasArrow = false;
        const auto layout = AttachedWindowGeometry::layout(kView, kPoint, 1, 10.0, metrics);
        QCOMPARE(AttachedWindowGeometry::bubblePath(layout, 1, metrics).boundingRect(), box);
    }

    void squaresTheCornerBesideTheArrow_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<bool>("roundBesideArrow");
        QTest::addColumn<int>("squareCorner");
        QTest::newRow("11 square") << 11 << false << int(TopLeft);
        QTest::newRow("7 square") << 7 << false << int(TopLeft);
        QTest::newRow("10 square") << 10 << false << int(TopRight);
        QTest::newRow("5 square") << 5 << false << int(TopRight);
        QTest::newRow("8 square") << 8 << false << int(BottomRight);
        QTest::newRow("4 square") << 4 << false << int(BottomRight);
        QTest::newRow("9 square") << 9 << false << int(BottomLeft);
        QTest::newRow("6 square") << 6 << false << int(BottomLeft);
        QTest::newRow("11 round") << 11 << true << int(None);
        QTest::newRow("1 centred arrow stays round") << 1 << false << int(None);
        QTest::newRow("2 centred arrow stays round") << 2 << false << int(None);
    }
    void squaresTheCornerBesideTheArrow()
    {
        QFETCH(int, side);
        QFETCH(bool, roundBesideArrow);
        QFETCH(int, squareCorner);
        AttachedWindowMetrics metrics;
        metrics.drawsRoundCornerBesideArrow = roundBesideArrow;
        const auto layout = AttachedWindowGeometry::layout(kView, kPoint, side, 10.0, metrics);
        const QPainterPath path = AttachedWindowGeometry::bubblePath(layout, side, metrics);
        AttachedWindowMetrics noArrow = metrics;
        noArrow.hasArrow = false;
        const QRectF box = AttachedWindowGeometry::bubblePath(layout, side, noArrow).boundingRect();

        // Just inside each corner: filled only where the corner is square.
        const QPointF inside[] = {{},
                                  box.topLeft() + QPointF(1.5, 1.5),
                                  box.topRight() + QPointF(-1.5, 1.5),
                                  box.bottomRight() + QPointF(-1.5, -1.5),
                                  box.bottomLeft() + QPointF(1.5, -1.5)};
        for (int corner = TopLeft; corner <= BottomLeft; ++corner)
            QCOMPARE(path.contains(inside[corner]), corner == squareCorner);
        if (squareCorner == TopLeft && side == 11) {
            // The arrow starts at the corner itself.
            QVERIFY(path.contains(box.topLeft() + QPointF(2, -1)));
        }
    }

    void choosesTheSideFromTheRoom_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<QRectF>("screen");
        QTest::addColumn<QRectF>("attached");
        QTest::addColumn<int>("side");
        const QRectF screen(0, 0, 1000, 800);
        const QRectF none;
        // 100 x 50 view, distance 10: the bubble needs 104 x 54 plus 26 towards the point.
        QTest::newRow("room below") << QPointF(500, 400) << screen << none << 1;
        QTest::newRow("near the bottom: right, extending up") << QPointF(500, 780) << screen << none << 6;
        QTest::newRow("bottom-right corner: left, extending up") << QPointF(990, 780) << screen << none << 4;
        QTest::newRow("narrow screen, bottom: above")
            << QPointF(100, 780) << QRectF(0, 0, 200, 800) << none << 3;
        QTest::newRow("no room anywhere: below") << QPointF(60, 50) << QRectF(0, 0, 120, 100) << none << 1;
        QTest::newRow("screen offset, room below")
            << QPointF(1500, 300) << QRectF(1000, 200, 1000, 800) << none << 1;
        QTest::newRow("near a window's right edge: below, leftwards")
            << QPointF(580, 400) << screen << QRectF(400, 300, 200, 200) << 10;
        QTest::newRow("near a window's left edge: below, rightwards")
            << QPointF(420, 400) << screen << QRectF(400, 300, 200, 200) << 11;
        QTest::newRow("near a window's top: right, downwards")
            << QPointF(100, 750) << screen << QRectF(0, 740, 300, 60) << 7;
        QTest::newRow("near a window's top at the right: left, downwards")
            << QPointF(950, 750) << screen << QRectF(700, 740, 300, 60) << 5;
        QTest::newRow("above, near a window's right edge: leftwards")
            << QPointF(90, 790) << QRectF(0, 0, 200, 800) << QRectF(0, 600, 100, 200) << 8;
        QTest::newRow("above, near a window's left edge: rightwards")
            << QPointF(80, 790) << QRectF(0, 0, 200, 800) << QRectF(60, 600, 100, 200) << 9;
    }
    void choosesTheSideFromTheRoom()
    {
        QFETCH(QPointF, point);
        QFETCH(QRectF, screen);
        QFETCH(QRectF, attached);
        QFETCH(int, side);
        QCOMPARE(AttachedWindowGeometry::automaticSide(kView, point, 10.0, {}, screen, attached), side);
    }

    void clampsTheSetterValues_data()
    {
        QTest::addColumn<QSizeF>("view");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("baseWidth");
        QTest::addColumn<bool>("roundBesideArrow");
        QTest::addColumn<double>("expectedRadius");
        QTest::addColumn<double>("expectedBase");
        // The short edge of a 40 x 30 view with margin 2 is 34 long.
        QTest::newRow("radius fits") << QSizeF(40, 30) << 5.0 << 20.0 << true << 5.0 << 20.0;
        QTest::newRow("radius too large: reduced, base still fits")
            << QSizeF(40, 30) << 50.0 << 20.0 << true << 7.0 << 20.0;
        QTest::newRow("tiny view: no radius, base shortened")
            << QSizeF(10, 10) << 50.0 << 20.0 << true << 0.0 << 14.0;
        QTest::newRow("square beside arrow leaves more base")
            << QSizeF(40, 30) << 7.0 << 40.0 << false << 7.0 << 27.0;
        QTest::newRow("round beside arrow") << QSizeF(40, 30) << 7.0 << 40.0 << true << 7.0 << 20.0;
        QTest::newRow("negative radius") << QSizeF(40, 30) << -3.0 << 20.0 << true << 0.0 << 20.0;
        QTest::newRow("negative base") << QSizeF(40, 30) << 5.0 << -4.0 << true << 5.0 << 0.0;
    }
    void clampsTheSetterValues()
    {
        QFETCH(QSizeF, view);
        QFETCH(double, radius);
        QFETCH(double, baseWidth);
        QFETCH(bool, roundBesideArrow);
        QFETCH(double, expectedRadius);
        QFETCH(double, expectedBase);
        AttachedWindowMetrics metrics;
        metrics.drawsRoundCornerBesideArrow = roundBesideArrow;
        metrics.cornerRadius = AttachedWindowGeometry::clampedCornerRadius(radius, view, metrics);
        QCOMPARE(metrics.cornerRadius, expectedRadius);
        metrics.arrowBaseWidth = AttachedWindowGeometry::clampedArrowBaseWidth(baseWidth, view, metrics);
        QCOMPARE(metrics.arrowBaseWidth, expectedBase);
    }
};

QTEST_GUILESS_MAIN(TestAttachedWindowGeometry)
#include "TestAttachedWindowGeometry.moc"

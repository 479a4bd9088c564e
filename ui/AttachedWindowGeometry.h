#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>

// The lengths and switches that shape a bubble. Lengths are device-independent pixels.
struct AttachedWindowMetrics
{
    double viewMargin = 2.0;
    double borderWidth = 2.0;
    double arrowBaseWidth = 20.0;
    double arrowHeight = 16.0;
    double cornerRadius = 8.0;
    bool hasArrow = true;
    bool drawsRoundCornerBesideArrow = true;
};

// Where a bubble window goes and what it looks like, without a display.
//
// Sides: 0 left, 1 below, 2 right, 3 above (arrow centred); 4/5 left extending up/down,
// 6/7 right extending up/down, 8/9 above extending left/right, 10/11 below extending left/right;
// 12 picks one of them (automaticSide).
//
// Every argument and result is in Qt coordinates (y grows downwards). The placement rules are
// written for y growing upwards, so the code converts once, through yFlip(), on the way in and out.
class AttachedWindowGeometry
{
public:
    static constexpr int Automatic = 12;

    struct Layout
    {
        QRect windowFrame; // global, whole pixels
        QRectF viewFrame;  // inside the window
    };

    static bool isFixedSide(int side) { return side >= 0 && side < Automatic; }

    // Distance along the edge from the window's end to the tip of an off-centre arrow.
    static double arrowInset(const AttachedWindowMetrics& metrics);

    // screenFrame is the available area of the screen; attachedFrame the frame of the window the
    // point belongs to, or a null rectangle for a point on the screen.
    static int automaticSide(const QSizeF& viewSize, const QPointF& point, double distance,
                             const AttachedWindowMetrics& metrics, const QRectF& screenFrame,
                             const QRectF& attachedFrame);

    // Window frame and view frame for a fixed side; point is global.
    static Layout layout(const QSizeF& viewSize, const QPointF& point, int side, double distance,
                         const AttachedWindowMetrics& metrics);

    // Outline of the bubble inside a window laid out by layout().
    static QPainterPath bubblePath(const Layout& layout, int side, const AttachedWindowMetrics& metrics);

    // Setter limits; viewSize is the content view's current size.
    static double clampedCornerRadius(double radius, const QSizeF& viewSize,
                                      const AttachedWindowMetrics& metrics);
    static double clampedArrowBaseWidth(double width, const QSizeF& viewSize,
                                        const AttachedWindowMetrics& metrics);
    static double clampedBorderWidth(double width, const AttachedWindowMetrics& metrics);
};

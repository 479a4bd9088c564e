#pragma once

#include <QRectF>

class QPainter;

// A padlock, open or shut, drawn into a box of 28 × 48 units scaled to the given rectangle.
// An open lock's shackle is lifted above the box by a fifth of its height.
class LockGlyph
{
public:
    static void paint(QPainter& painter, const QRectF& box, bool open);
};

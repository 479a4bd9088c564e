#pragma once

#include "ui/AttachedWindowGeometry.h"

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

// A borderless bubble with an arrow that points at a spot beside a control: every tip, guide,
// help and low-space panel. It shows one content view, which it does not own: the view is handed
// back (unparented and hidden) when the bubble is destroyed, so the caller can show it again.
//
// With an attached window the point is in that window's coordinates; the bubble is then a
// transient child of it, follows it when it moves and is deleted with it. Without one the point
// is global and the caller owns the bubble.
class AttachedWindow : public QWidget
{
    Q_OBJECT

public:
    // Every form gives null for a null view. An omitted window means a global point, an omitted
    // side is 12 (chosen from the room on the screen), an omitted distance is 0.
    static AttachedWindow* create(QWidget* view, const QPointF& point, QWidget* window, int side,
                                  double distance);
    static AttachedWindow* create(QWidget* view, const QPointF& point, QWidget* window, double distance);
    static AttachedWindow* create(QWidget* view, const QPointF& point, int side, double distance);
    static AttachedWindow* create(QWidget* view, const QPointF& point, double distance);
    static AttachedWindow* create(QWidget* view, const QPointF& point, QWidget* window);
    static AttachedWindow* create(QWidget* view, const QPointF& point, int side);
    static AttachedWindow* create(QWidget* view, const QPointF& point);

    ~AttachedWindow() override;

    // Moves the bubble; side 12 (or any value outside 0-11) is chosen again from the room there.
    void setPoint(const QPointF& point, int side);
    QPointF point() const { return m_point; }
    int side() const { return m_side; }
    double distance() const { return m_distance; }
    QWidget* view() const { return m_view; }
    QWidget* attachedWindow() const { return m_window; }

    double viewMargin() const { return m_metrics.viewMargin; }
    void setViewMargin(double margin);
    double borderWidth() const { return m_metrics.borderWidth; }
    void setBorderWidth(double width);
    double arrowBaseWidth() const { return m_metrics.arrowBaseWidth; }
    void setArrowBaseWidth(double width);
    double arrowHeight() const { return m_metrics.arrowHeight; }
    void setArrowHeight(double height);
    bool hasArrow() const { return m_metrics.hasArrow; }
    void setHasArrow(bool hasArrow);
    double cornerRadius() const { return m_metrics.cornerRadius; }
    void setCornerRadius(double radius);
    bool drawsRoundCornerBesideArrow() const { return m_metrics.drawsRoundCornerBesideArrow; }
    void setDrawsRoundCornerBesideArrow(bool round);
    QColor windowBackgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& color);
    QColor borderColor() const { return m_borderColor; }
    void setBorderColor(const QColor& color);
    // Shows the image as a tiled pattern instead of the drawn bubble, until the bubble is redrawn.
    void setBackgroundImage(const QImage& image);

    const AttachedWindowMetrics& metrics() const { return m_metrics; }
    const AttachedWindowGeometry::Layout& layout() const { return m_layout; }
    // The drawn bubble, at the screen's device pixel ratio.
    const QPixmap& backgroundPixmap() const { return m_background; }

    // Window kind for a windowing system: Wayland lets no client place its windows, so there the
    // bubble is a popup placed against its transient parent.
    static Qt::WindowFlags windowFlagsFor(const QString& platformName, bool hasParent);

public Q_SLOTS:
    // Closing from the keyboard closes the attached window, as its own close would.
    void performClose();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    AttachedWindow(QWidget* view, const QPointF& point, QWidget* window, int side, double distance);

    QPointF globalPoint() const;
    QSizeF viewSize() const;
    int resolvedSide(int side) const;
    void redisplay();
    void applyGeometry();
    void updateBackground();

    QPointer<QWidget> m_view;
    QPointer<QWidget> m_window;
    bool m_hasWindow = false;
    QPointF m_point;
    QPointF m_lastGlobalPoint;
    int m_side = AttachedWindowGeometry::Automatic;
    double m_distance = 0;
    AttachedWindowMetrics m_metrics;
    QColor m_backgroundColor = QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.75f);
    QColor m_borderColor = Qt::white;
    AttachedWindowGeometry::Layout m_layout;
    QPixmap m_background;
    QImage m_patternImage;
    bool m_redisplaying = false;
};

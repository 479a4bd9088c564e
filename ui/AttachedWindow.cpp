#include "ui/AttachedWindow.h"

#include "core/system/Logging.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QShortcut>

namespace {

QWidget* topLevelOf(QWidget* window)
{
    return window ? window->window() : nullptr;
}

} // namespace

AttachedWindow* AttachedWindow::create(QWidget* view, const QPointF& point, QWidget* window, int side,
                                       double distance)
{
    if (!view) {
        qCWarning(lcUi) << "A bubble window needs a content view; none was given";
        return nullptr;
    }
    return new AttachedWindow(view, point, window, side, distance);
}

AttachedWindow* AttachedWindow::create(QWidget* view, const QPointF& point, QWidget* window, double distance)
{
    return create(view, point, window, AttachedWindowGeometry::Automatic, distance);
}

AttachedWindow* AttachedWindow::create(QWidget* view, const QPointF& point, int side, double distance)
{
    return create(view, point, nullptr, side, distance);
}

AttachedWindow* AttachedWindow::create(QWidget* view, const QPointF& point, double distance)
{
    return create(view, point, nullptr, AttachedWindowGeometry::Automatic, distance);
}

AttachedWindow* AttachedWindow::create(QWidget* view, const QPointF& point, QWidget* window)
{
    return create(view, point, window, AttachedWindowGeometry::Automatic, 0.0);
}

AttachedWindow* AttachedWindow::create(QWidget* view, const QPointF& point, int side)
{
    return create(view, point, nullptr, side, 0.0);
}

AttachedWindow* AttachedWindow::create(QWidget* view, const QPointF& point)
{
    return create(view, point, nullptr, AttachedWindowGeometry::Automatic, 0.0);
}

Qt::WindowFlags AttachedWindow::windowFlagsFor(const QString& platformName, bool hasParent)
{
    // A tool window keeps out of the task bar and stays above its parent. Under Wayland only a
    // popup with a transient parent can be put beside a control; it must not grab the pointer,
    // or the first click elsewhere would close the tip, hence the tool-tip kind.
    if (platformName.startsWith(QLatin1String("wayland")) && hasParent)
        return Qt::ToolTip | Qt::FramelessWindowHint;
    return Qt::Tool | Qt::FramelessWindowHint;
}

AttachedWindow::AttachedWindow(QWidget* view, const QPointF& point, QWidget* window, int side,
                               double distance)
    : QWidget(topLevelOf(window), windowFlagsFor(QGuiApplication::platformName(), window != nullptr)),
      m_view(view), m_window(window), m_hasWindow(window != nullptr), m_point(point), m_distance(distance)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Closing a tip must never end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowOpacity(1.0);

    auto* close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &AttachedWindow::performClose);

    if (!m_view->testAttribute(Qt::WA_Resized))
        m_view->adjustSize();
    m_view->setParent(this);
    m_view->installEventFilter(this);
    if (QWidget* top = topLevelOf(window))
        top->installEventFilter(this);

    m_side = resolvedSide(side);
    redisplay();
    m_view->show();
}

AttachedWindow::~AttachedWindow()
{
    if (m_view) {
        m_view->removeEventFilter(this);
        m_view->hide();
        m_view->setParent(nullptr);
    }
}

QPointF AttachedWindow::globalPoint() const
{
    // A window that went away leaves the bubble where it was.
    if (m_hasWindow)
        return m_window ? m_window->mapToGlobal(m_point) : m_lastGlobalPoint;
    return m_point;
}

QSizeF AttachedWindow::viewSize() const
{
    return m_view ? QSizeF(m_view->size()) : QSizeF(m_layout.viewFrame.size());
}

int AttachedWindow::resolvedSide(int side) const
{
    if (AttachedWindowGeometry::isFixedSide(side))
        return side;
    const QPointF point = globalPoint();
    QWidget* top = topLevelOf(m_window);
    QScreen* screen = top ? top->screen() : QGuiApplication::screenAt(point.toPoint());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRectF screenFrame = screen ? QRectF(screen->availableGeometry()) : QRectF();
    const QRectF attachedFrame = top ? QRectF(top->frameGeometry()) : QRectF();
    return AttachedWindowGeometry::automaticSide(viewSize(), point, m_distance, m_metrics, screenFrame,
                                                 attachedFrame);
}

void AttachedWindow::setPoint(const QPointF& point, int side)
{
    m_point = point;
    m_side = resolvedSide(side);
    redisplay();
}

void AttachedWindow::redisplay()
{
    // Setting the frames below resizes the view and the window, which lands here again.
    if (m_redisplaying)
        return;
    m_redisplaying = true;
    applyGeometry();
    updateBackground();
    m_redisplaying = false;
}

void AttachedWindow::applyGeometry()
{
    if (m_hasWindow && m_window)
        m_lastGlobalPoint = m_window->mapToGlobal(m_point);
    m_layout = AttachedWindowGeometry::layout(viewSize(), globalPoint(), m_side, m_distance, m_metrics);
    setGeometry(m_layout.windowFrame);
    if (m_view)
        m_view->setGeometry(m_layout.viewFrame.toRect());
}

void AttachedWindow::updateBackground()
{
    // Qt's sizes are device-independent already; only an image drawn by hand needs the ratio.
    const qreal ratio = devicePixelRatioF();
    const QSize size = m_layout.windowFrame.size();
    QPixmap pixmap((QSizeF(size) * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    {
        const QPainterPath path = AttachedWindowGeometry::bubblePath(m_layout, m_side, m_metrics);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipPath(path);
        painter.fillPath(path, m_backgroundColor);
        if (m_metrics.borderWidth > 0) {
            // Twice the width: the clip keeps the inner half.
            painter.strokePath(path, QPen(m_borderColor, 2 * m_metrics.borderWidth));
        }
    }
    // Without a compositing manager a translucent window shows black where it is transparent;
    // shaping the window to the bubble keeps the corners clear either way.
    setMask(
        QRegion(AttachedWindowGeometry::bubblePath(m_layout, m_side, m_metrics).toFillPolygon().toPolygon(),
                Qt::WindingFill));
    m_background = pixmap;
    m_patternImage = QImage();
    if (isVisible())
        update();
}

void AttachedWindow::setViewMargin(double margin)
{
    if (margin == m_metrics.viewMargin)
        return;
    m_metrics.viewMargin = std::max(0.0, margin);
    setCornerRadius(m_metrics.cornerRadius);
}

void AttachedWindow::setCornerRadius(double radius)
{
    m_metrics.cornerRadius = AttachedWindowGeometry::clampedCornerRadius(radius, viewSize(), m_metrics);
    setArrowBaseWidth(m_metrics.arrowBaseWidth);
}

void AttachedWindow::setArrowBaseWidth(double width)
{
    m_metrics.arrowBaseWidth = AttachedWindowGeometry::clampedArrowBaseWidth(width, viewSize(), m_metrics);
    redisplay();
}

void AttachedWindow::setBorderWidth(double width)
{
    if (width == m_metrics.borderWidth)
        return;
    m_metrics.borderWidth = AttachedWindowGeometry::clampedBorderWidth(width, m_metrics);
    updateBackground();
}

void AttachedWindow::setArrowHeight(double height)
{
    if (height == m_metrics.arrowHeight)
        return;
    m_metrics.arrowHeight = height;
    redisplay();
}

void AttachedWindow::setHasArrow(bool hasArrow)
{
    if (hasArrow == m_metrics.hasArrow)
        return;
    m_metrics.hasArrow = hasArrow;
    updateBackground();
}

void AttachedWindow::setDrawsRoundCornerBesideArrow(bool round)
{
    if (round == m_metrics.drawsRoundCornerBesideArrow)
        return;
    m_metrics.drawsRoundCornerBesideArrow = round;
    redisplay();
}

void AttachedWindow::setBackgroundColor(const QColor& color)
{
    if (color == m_backgroundColor)
        return;
    m_backgroundColor = color;
    updateBackground();
}

void AttachedWindow::setBorderColor(const QColor& color)
{
    if (color == m_borderColor)
        return;
    m_borderColor = color;
    updateBackground();
}

void AttachedWindow::setBackgroundImage(const QImage& image)
{
    m_patternImage = image;
    update();
}

void AttachedWindow::performClose()
{
    if (QWidget* top = topLevelOf(m_window))
        top->close();
    else
        close();
}

bool AttachedWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::Resize)
        redisplay();
    else if (m_window && watched == m_window->window() &&
             (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        applyGeometry();
    return QWidget::eventFilter(watched, event);
}

void AttachedWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (!m_patternImage.isNull())
        painter.fillRect(rect(), QBrush(m_patternImage));
    else
        painter.drawPixmap(0, 0, m_background);
}

void AttachedWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    redisplay();
}

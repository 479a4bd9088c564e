#include "ui/AttachedWindow.h"

#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <functional>
#include <memory>

using Factory = std::function<AttachedWindow*(QWidget* view, QWidget* window)>;
using Setter = std::function<void(AttachedWindow*)>;
Q_DECLARE_METATYPE(Factory)
Q_DECLARE_METATYPE(Setter)

namespace {

std::unique_ptr<QWidget> makeView(int width = 100, int height = 50)
{
    auto view = std::make_unique<QWidget>();
    view->resize(width, height);
    return view;
}

// From the point towards the bubble: the way the arrow points, reversed.
QPoint towardsBubble(int side)
{
    const QPoint towards[] = {{-1, 0}, {0, 1}, {1, 0},  {0, -1}, {-1, 0}, {-1, 0},
                              {1, 0},  {1, 0}, {0, -1}, {0, -1}, {0, 1},  {0, 1}};
    return towards[side];
}

} // namespace

class TestAttachedWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The placement rows below assume one screen of at least 800 x 600 at the origin.
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(QRect(0, 0, 800, 600)));
        m_parent.setGeometry(100, 100, 400, 300);
        m_parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_parent));
    }

    void cleanupTestCase()
    {
        // One sheet with every side, for looking at all of them at once.
        QImage sheet(4 * 200, 3 * 130, QImage::Format_ARGB32_Premultiplied);
        sheet.fill(QColor(70, 110, 160));
        QPainter painter(&sheet);
        for (int side = 0; side < m_renders.size(); ++side)
            painter.drawImage((side % 4) * 200 + 20, (side / 4) * 130 + 15, m_renders[side]);
        painter.end();
        sheet.save(outputDir() + QStringLiteral("/all-sides.png"));
    }

    void nullViewGivesNoWindow()
    {
        QCOMPARE(AttachedWindow::create(nullptr, QPointF(10, 10), 1, 5.0), nullptr);
    }

    void initialiserForms_data()
    {
        QTest::addColumn<Factory>("make");
        QTest::addColumn<bool>("attached");
        QTest::addColumn<int>("side");
        QTest::addColumn<double>("distance");
        const QPointF p(380, 60);
        // At (380, 60) of the parent the bubble would stick out past its right edge: it extends
        // leftwards (10); the same point on the screen has room below (1).
        QTest::newRow("window, side, distance")
            << Factory([p](QWidget* v, QWidget* w) { return AttachedWindow::create(v, p, w, 5, 3.0); })
            << true << 5 << 3.0;
        QTest::newRow("window, distance")
            << Factory([p](QWidget* v, QWidget* w) { return AttachedWindow::create(v, p, w, 3.0); }) << true
            << 10 << 3.0;
        QTest::newRow("side, distance")
            << Factory([p](QWidget* v, QWidget*) { return AttachedWindow::create(v, p, 5, 3.0); }) << false
            << 5 << 3.0;
        QTest::newRow("distance") << Factory([p](QWidget* v, QWidget*) {
            return AttachedWindow::create(v, p, 3.0);
        }) << false << 1 << 3.0;
        QTest::newRow("window") << Factory([p](QWidget* v, QWidget* w) {
            return AttachedWindow::create(v, p, w);
        }) << true << 10 << 0.0;
        QTest::newRow("side") << Factory([p](QWidget* v, QWidget*) {
            return AttachedWindow::create(v, p, 5);
        }) << false << 5 << 0.0;
        QTest::newRow("point only") << Factory([p](QWidget* v, QWidget*) {
            return AttachedWindow::create(v, p);
        }) << false << 1 << 0.0;
    }
    void initialiserForms()
    {
        QFETCH(Factory, make);
        QFETCH(bool, attached);
        QFETCH(int, side);
        QFETCH(double, distance);
        auto view = makeView();
        std::unique_ptr<AttachedWindow> bubble(make(view.get(), &m_parent));
        QVERIFY(bubble);
        QCOMPARE(bubble->side(), side);
        QCOMPARE(bubble->distance(), distance);
        QCOMPARE(bubble->attachedWindow(), attached ? &m_parent : nullptr);
        QCOMPARE(bubble->parentWidget(), attached ? &m_parent : nullptr);
        QVERIFY(bubble->isWindow());
        QCOMPARE(view->parentWidget(), bubble.get());
    }

    void followsTheAttachedWindow()
    {
        auto view = makeView();
        std::unique_ptr<AttachedWindow> bubble(
            AttachedWindow::create(view.get(), QPointF(50, 60), &m_parent, 1, 1.0));
        const QPoint point = m_parent.mapToGlobal(QPoint(50, 60));
        QCOMPARE(bubble->geometry().top(), point.y() + 1);
        QCOMPARE(bubble->geometry().left() + bubble->width() / 2, point.x());

        m_parent.move(m_parent.pos() + QPoint(30, 20));
        QTRY_COMPARE(bubble->geometry().topLeft(), QPoint(point.x() - 52 + 30, point.y() + 1 + 20));
        m_parent.move(m_parent.pos() - QPoint(30, 20));
    }

    void followsTheViewsSize()
    {
        auto view = makeView();
        std::unique_ptr<AttachedWindow> bubble(
            AttachedWindow::create(view.get(), QPointF(400, 300), 3, 10.0));
        bubble->show();
        view->resize(200, 80);
        QCOMPARE(bubble->geometry(), QRect(400 - 102, 300 - 10 - 100, 204, 100));
        QCOMPARE(view->geometry(), QRect(2, 2, 200, 80));
        QCOMPARE(bubble->backgroundPixmap().size(), QSize(204, 100));
    }

    void setterRules_data()
    {
        QTest::addColumn<Setter>("set");
        QTest::addColumn<bool>("redraws");
        QTest::addColumn<bool>("moves");
        const auto row = [](const char* name, Setter set, bool redraws, bool moves) {
            QTest::newRow(name) << set << redraws << moves;
        };
        row(
            "border width unchanged", [](AttachedWindow* w) { w->setBorderWidth(2); }, false, false);
        row(
            "border width", [](AttachedWindow* w) { w->setBorderWidth(1); }, true, false);
        row(
            "arrow height unchanged", [](AttachedWindow* w) { w->setArrowHeight(16); }, false, false);
        row(
            "arrow height", [](AttachedWindow* w) { w->setArrowHeight(25); }, true, true);
        row(
            "has arrow unchanged", [](AttachedWindow* w) { w->setHasArrow(true); }, false, false);
        row(
            "has arrow", [](AttachedWindow* w) { w->setHasArrow(false); }, true, false);
        row(
            "round corner unchanged", [](AttachedWindow* w) { w->setDrawsRoundCornerBesideArrow(true); },
            false, false);
        row(
            "round corner", [](AttachedWindow* w) { w->setDrawsRoundCornerBesideArrow(false); }, true, true);
        row(
            "background unchanged",
            [](AttachedWindow* w) { w->setBackgroundColor(QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.75f)); },
            false, false);
        row(
            "background", [](AttachedWindow* w) { w->setBackgroundColor(Qt::darkRed); }, true, false);
        row(
            "border colour unchanged", [](AttachedWindow* w) { w->setBorderColor(Qt::white); }, false, false);
        row(
            "border colour", [](AttachedWindow* w) { w->setBorderColor(Qt::yellow); }, true, false);
        row(
            "margin unchanged", [](AttachedWindow* w) { w->setViewMargin(2); }, false, false);
        row(
            "margin", [](AttachedWindow* w) { w->setViewMargin(5); }, true, true);
        // These two always clamp and apply.
        row(
            "corner radius, same value", [](AttachedWindow* w) { w->setCornerRadius(8); }, true, false);
        row(
            "arrow base, same value", [](AttachedWindow* w) { w->setArrowBaseWidth(20); }, true, false);
        row(
            "point", [](AttachedWindow* w) { w->setPoint(QPointF(300, 200), 11); }, true, true);
    }
    void setterRules()
    {
        QFETCH(Setter, set);
        QFETCH(bool, redraws);
        QFETCH(bool, moves);
        auto view = makeView();
        std::unique_ptr<AttachedWindow> bubble(
            AttachedWindow::create(view.get(), QPointF(400, 300), 11, 10.0));
        const qint64 before = bubble->backgroundPixmap().cacheKey();
        const QRect frame = bubble->geometry();
        set(bubble.get());
        QCOMPARE(bubble->backgroundPixmap().cacheKey() != before, redraws);
        QCOMPARE(bubble->geometry() != frame, moves);
    }

    void clampsAgainstTheView_data()
    {
        QTest::addColumn<QSize>("view");
        QTest::addColumn<double>("margin");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("border");
        QTest::addColumn<double>("expectedMargin");
        QTest::addColumn<double>("expectedRadius");
        QTest::addColumn<double>("expectedBase");
        QTest::addColumn<double>("expectedBorder");
        QTest::newRow("fits") << QSize(100, 50) << 5.0 << 10.0 << 5.0 << 5.0 << 10.0 << 20.0 << 5.0;
        QTest::newRow("border above the margin")
            << QSize(100, 50) << 2.0 << 8.0 << 5.0 << 2.0 << 8.0 << 20.0 << 2.0;
        QTest::newRow("radius too large for a small view")
            << QSize(40, 30) << 2.0 << 50.0 << 2.0 << 2.0 << 7.0 << 20.0 << 2.0;
        QTest::newRow("negative margin") << QSize(40, 30) << -3.0 << 50.0 << 1.0 << 0.0 << 5.0 << 20.0 << 0.0;
        QTest::newRow("very small view") << QSize(12, 8) << 2.0 << 50.0 << 2.0 << 2.0 << 0.0 << 12.0 << 2.0;
    }
    void clampsAgainstTheView()
    {
        QFETCH(QSize, view);
        QFETCH(double, margin);
        QFETCH(double, radius);
        QFETCH(double, border);
        auto content = makeView(view.width(), view.height());
        std::unique_ptr<AttachedWindow> bubble(
            AttachedWindow::create(content.get(), QPointF(400, 300), 1, 10.0));
        bubble->setViewMargin(margin);
        bubble->setCornerRadius(radius);
        bubble->setBorderWidth(border);
        QTEST(bubble->viewMargin(), "expectedMargin");
        QTEST(bubble->cornerRadius(), "expectedRadius");
        QTEST(bubble->arrowBaseWidth(), "expectedBase");
        QTEST(bubble->borderWidth(), "expectedBorder");
    }

    void windowKind_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("hasParent");
        QTest::addColumn<int>("type");
        QTest::newRow("X11") << "xcb" << true << int(Qt::Tool);
        QTest::newRow("X11, on the screen") << "xcb" << false << int(Qt::Tool);
        QTest::newRow("Wayland, beside a window") << "wayland" << true << int(Qt::ToolTip);
        QTest::newRow("Wayland EGL, beside a window") << "wayland-egl" << true << int(Qt::ToolTip);
        QTest::newRow("Wayland, on the screen") << "wayland" << false << int(Qt::Tool);
    }
    void windowKind()
    {
        QFETCH(QString, platform);
        QFETCH(bool, hasParent);
        QFETCH(int, type);
        const Qt::WindowFlags flags = AttachedWindow::windowFlagsFor(platform, hasParent);
        QCOMPARE(int(flags & Qt::WindowType_Mask), type);
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    }

    void closeGoesToTheAttachedWindow_data()
    {
        QTest::addColumn<bool>("attached");
        QTest::newRow("attached") << true;
        QTest::newRow("on the screen") << false;
    }
    void closeGoesToTheAttachedWindow()
    {
        QFETCH(bool, attached);
        QWidget parent;
        parent.setGeometry(50, 50, 300, 200);
        parent.show();
        auto view = makeView();
        std::unique_ptr<AttachedWindow> bubble(
            AttachedWindow::create(view.get(), QPointF(20, 20), attached ? &parent : nullptr, 1, 1.0));
        bubble->show();
        QVERIFY(!bubble->testAttribute(Qt::WA_QuitOnClose));
        bubble->performClose();
        QCOMPARE(parent.isVisible(), !attached);
        if (!attached)
            QVERIFY(!bubble->isVisible());
    }

    void handsTheViewBack()
    {
        auto view = makeView();
        QPointer<AttachedWindow> bubble = AttachedWindow::create(view.get(), QPointF(400, 300), 1, 1.0);
        bubble->show();
        delete bubble;
        QVERIFY(!bubble);
        QCOMPARE(view->parentWidget(), nullptr);
        QVERIFY(view->isHidden());
        // Shown again by a new bubble, as a tip that comes back.
        std::unique_ptr<AttachedWindow> again(AttachedWindow::create(view.get(), QPointF(400, 300), 1, 1.0));
        QCOMPARE(view->parentWidget(), again.get());
    }

    void rendersEverySide_data()
    {
        QTest::addColumn<int>("side");
        for (int side = 0; side < 12; ++side)
            QTest::addRow("side %d", side) << side;
    }
    void rendersEverySide()
    {
        QFETCH(int, side);
        auto* label = new QLabel(QStringLiteral("Side %1").arg(side));
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(QStringLiteral("color: white"));
        std::unique_ptr<QWidget> view(label);
        view->resize(100, 50);
        const QPoint point(400, 300);
        std::unique_ptr<AttachedWindow> bubble(AttachedWindow::create(view.get(), point, side, 10.0));
        bubble->show();
        QVERIFY(QTest::qWaitForWindowExposed(bubble.get()));
        const QImage image = bubble->grab().toImage();
        QVERIFY(image.save(outputDir() + QStringLiteral("/side-%1.png").arg(side)));
        m_renders.append(image);

        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        // The arrow is drawn up to its tip, which lies the distance away from the point.
        const QPoint tip = point + towardsBubble(side) * 10 - bubble->geometry().topLeft();
        QVERIFY(image.pixelColor(tip + towardsBubble(side) * 3).alpha() > 128);
        const QPoint across(towardsBubble(side).y(), towardsBubble(side).x());
        QCOMPARE(image.pixelColor(tip + towardsBubble(side) * 3 + across * 6).alpha(), 0);
        QCOMPARE(image.pixelColor(tip + towardsBubble(side) * 3 - across * 6).alpha(), 0);
        // Fill inside the margin, border along the edge opposite the arrow.
        const QRect inner = view->geometry();
        const QColor fill = image.pixelColor(inner.bottomRight() - QPoint(3, 3));
        QVERIFY(qAbs(fill.alpha() - 191) <= 2 && fill.red() < 40);
        const QPoint border =
            side == 0 || side == 4 || side == 5   ? QPoint(inner.left() - 1, inner.center().y())
            : side == 2 || side == 6 || side == 7 ? QPoint(inner.right() + 1, inner.center().y())
            : side == 3 || side == 8 || side == 9 ? QPoint(inner.center().x(), inner.top() - 1)
                                                  : QPoint(inner.center().x(), inner.bottom() + 1);
        QCOMPARE(image.pixel(border), qRgba(255, 255, 255, 255));
    }

private:
    static QString outputDir()
    {
        const QString dir = QStringLiteral(ZV_TEST_BIN_DIR "/bubbles");
        QDir().mkpath(dir);
        return dir;
    }

    QWidget m_parent;
    QList<QImage> m_renders;
};

QTEST_MAIN(TestAttachedWindow)
#include "TestAttachedWindow.moc"

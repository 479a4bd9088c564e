#include "app/prefs/PrefsWindowController.h"

#include "core/system/Logging.h"

#include <QAction>
#include <QActionGroup>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QShortcut>
#include <QToolBar>

namespace {

// A page keeps the size it was given, or else the size its layout asks for.
QSize pageSize(QWidget* view)
{
    return view->testAttribute(Qt::WA_Resized) ? view->size() : view->sizeHint();
}

} // namespace

PrefsWindowController::PrefsWindowController(QObject* parent)
    : QObject(parent), m_toolbarGroup(new QActionGroup(this)),
      m_viewAnimation(new QParallelAnimationGroup(this))
{
    m_toolbarGroup->setExclusive(true);
    connect(m_viewAnimation, &QAbstractAnimation::finished, this, &PrefsWindowController::animationDidEnd);
}

PrefsWindowController::~PrefsWindowController()
{
    m_viewAnimation->stop();
    m_viewAnimation->clear();
}

QMainWindow* PrefsWindowController::window()
{
    if (!m_window)
        windowDidLoad();
    return m_window.get();
}

QWidget* PrefsWindowController::contentSubview()
{
    window();
    return m_contentSubview;
}

void PrefsWindowController::windowDidLoad()
{
    m_window = std::make_unique<QMainWindow>(
        nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    m_window->setObjectName(nibName());
    // No menu that would let the user hide the toolbar: it is the only way between the pages.
    m_window->setContextMenuPolicy(Qt::PreventContextMenu);
    m_contentSubview = new QWidget(m_window.get());
    m_contentSubview->setObjectName(QStringLiteral("contentSubview"));
    m_window->setCentralWidget(m_contentSubview);
    // The first page sets the real size.
    m_window->resize(1000, 1000);
    // Settings are written as they change, so closing is all Escape has to do.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)})
        connect(new QShortcut(keys, m_window.get()), &QShortcut::activated, m_window.get(), &QWidget::close);
}

void PrefsWindowController::addView(QWidget* view, const QString& label)
{
    addView(view, label, QIcon::fromTheme(label));
}

void PrefsWindowController::addView(QWidget* view, const QString& label, const QIcon& image)
{
    if (!view) {
        qCCritical(lcApp, "Attempted to add a nil view when calling -addView:label:image:.");
        return;
    }
    const QString identifier = label;
    if (QAction* previous = m_toolbarItems.take(identifier))
        delete previous;
    else
        m_toolbarIdentifiers.append(identifier);
    m_toolbarViews.insert(identifier, view);
    auto* item = new QAction(image, identifier, m_toolbarGroup);
    item->setObjectName(identifier);
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, item] { toggleActivePreferenceView(item); });
    m_toolbarItems.insert(identifier, item);
}

void PrefsWindowController::showWindow()
{
    window();
    m_toolbarIdentifiers.clear();
    m_toolbarViews.clear();
    qDeleteAll(m_toolbarItems);
    m_toolbarItems.clear();
    setupToolbar();
    if (m_toolbarIdentifiers.isEmpty()) {
        qCCritical(lcApp, "No items were added to the toolbar in -setupToolbar.");
        return;
    }
    if (!m_toolbar) {
        m_toolbar = new QToolBar(m_window.get());
        m_toolbar->setObjectName(QStringLiteral("PrefsWindowControllerToolbar"));
        m_toolbar->setMovable(false);
        m_toolbar->setFloatable(false);
        m_toolbar->toggleViewAction()->setVisible(false);
        m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        m_window->addToolBar(Qt::TopToolBarArea, m_toolbar);
    }
    m_toolbar->clear();
    for (const QString& identifier : std::as_const(m_toolbarIdentifiers)) {
        QAction* item = m_toolbarItems.value(identifier);
        m_toolbar->addAction(item);
        // The toolbar is the only way between the pages: Tab must reach it.
        if (QWidget* button = m_toolbar->widgetForAction(item))
            button->setFocusPolicy(Qt::TabFocus);
    }

    displayViewForIdentifier(m_toolbarIdentifiers.constFirst(), false);
    if (!m_window->isVisible()) {
        const QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame = m_window->geometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_window->move(frame.topLeft());
        }
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void PrefsWindowController::toggleActivePreferenceView(QAction* item)
{
    displayViewForIdentifier(item->objectName(), true);
}

QWidget* PrefsWindowController::currentView() const
{
    for (qsizetype i = m_subviews.size() - 1; i >= 0; --i) {
        if (m_subviews.at(i))
            return m_subviews.at(i);
    }
    return nullptr;
}

void PrefsWindowController::removeView(QWidget* view)
{
    view->hide();
    view->setGraphicsEffect(nullptr);
}

void PrefsWindowController::displayViewForIdentifier(const QString& identifier, bool animate)
{
    QWidget* newView = m_toolbarViews.value(identifier);
    if (!newView)
        return;
    window();
    // A change still fading in is finished at once, so only one page change runs at a time.
    stopAnimation();
    QWidget* oldView = currentView();
    for (const QPointer<QWidget>& view : std::as_const(m_subviews)) {
        if (view && view != oldView)
            removeView(view);
    }
    m_subviews.clear();
    if (oldView)
        m_subviews.append(oldView);

    if (newView != oldView) {
        if (newView->parentWidget() != m_contentSubview)
            newView->setParent(m_contentSubview);
        newView->setGeometry(QRect(QPoint(0, 0), pageSize(newView)));
        m_subviews.append(newView);
        if (animate && m_crossFade) {
            crossFadeView(oldView, newView);
        } else {
            if (oldView)
                removeView(oldView);
            m_subviews = {newView};
            newView->show();
            const QRect frame = frameForView(newView);
            if (animate) {
                auto* resize = new QPropertyAnimation(m_window.get(), "geometry");
                resize->setEndValue(frame);
                resize->setEasingCurve(QEasingCurve::InOutQuad);
                resize->setDuration(animationDuration());
                m_window->setMinimumSize(0, 0);
                m_window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
                m_viewAnimation->addAnimation(resize);
                m_viewAnimation->start();
            } else {
                setWindowFrame(frame);
            }
        }
    }
    m_window->setWindowTitle(identifier);
    if (QAction* item = m_toolbarItems.value(identifier))
        item->setChecked(true);
}

void PrefsWindowController::crossFadeView(QWidget* oldView, QWidget* newView)
{
    stopAnimation();
    const int duration = animationDuration();
    const auto fade = [this, duration](QWidget* view, qreal from, qreal to) {
        auto* effect = new QGraphicsOpacityEffect(view);
        effect->setOpacity(from);
        view->setGraphicsEffect(effect);
        auto* animation = new QPropertyAnimation(effect, "opacity");
        animation->setStartValue(from);
        animation->setEndValue(to);
        animation->setDuration(duration);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        m_viewAnimation->addAnimation(animation);
    };
    if (oldView)
        fade(oldView, 1.0, 0.0);
    fade(newView, 0.0, 1.0);
    newView->show();

    auto* resize = new QPropertyAnimation(m_window.get(), "geometry");
    resize->setStartValue(m_window->geometry());
    resize->setEndValue(frameForView(newView));
    resize->setDuration(duration);
    resize->setEasingCurve(QEasingCurve::InOutQuad);
    m_window->setMinimumSize(0, 0);
    m_window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_viewAnimation->addAnimation(resize);
    m_viewAnimation->start();
}

void PrefsWindowController::animationDidEnd()
{
    QWidget* current = currentView();
    for (const QPointer<QWidget>& view : std::as_const(m_subviews)) {
        if (view && view != current)
            removeView(view);
    }
    m_subviews.clear();
    if (current) {
        current->setGraphicsEffect(nullptr);
        m_subviews.append(current);
        setWindowFrame(frameForView(current));
    }
    m_viewAnimation->clear();
    // A page button keeps the keyboard's focus; a control of the page that went does not.
    QWidget* focus = m_window ? m_window->focusWidget() : nullptr;
    if (focus && !(m_toolbar && m_toolbar->isAncestorOf(focus)))
        focus->clearFocus();
}

void PrefsWindowController::stopAnimation()
{
    if (m_viewAnimation->state() == QAbstractAnimation::Stopped)
        return;
    m_viewAnimation->stop();
    animationDidEnd();
}

bool PrefsWindowController::isAnimating() const
{
    return m_viewAnimation->state() != QAbstractAnimation::Stopped;
}

int PrefsWindowController::animationDuration() const
{
    const bool slow =
        m_shiftSlowsAnimation && QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
    return slow ? kSlowFadeMs : kFadeMs;
}

QRect PrefsWindowController::frameForView(QWidget* view)
{
    window();
    // Lay the window out at its present size so the toolbar's share of it is known.
    if (QLayout* layout = m_window->layout()) {
        layout->invalidate();
        layout->activate();
    }
    QRect frame = m_window->geometry();
    const int chrome = frame.height() - m_contentSubview->height();
    const QSize page = pageSize(view);
    // QRect keeps the top edge when the height changes.
    frame.setHeight(page.height() + chrome);
    frame.setWidth(page.width());
    return frame;
}

void PrefsWindowController::setWindowFrame(const QRect& frame)
{
    m_window->setMinimumSize(0, 0);
    m_window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_window->setGeometry(frame);
    // Each page has its own size; the user doesn't resize it.
    m_window->setFixedSize(m_window->size());
}

#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <memory>

class QAction;
class QActionGroup;
class QMainWindow;
class QParallelAnimationGroup;
class QToolBar;
class QWidget;

// A window with a toolbar of icon-and-label buttons over pages, one page at a time. Subclasses add
// their pages in setupToolbar(); the window takes the size of the page shown, keeping its top edge.
// Pages stay owned by whoever made them; the controller shows them inside its window.
class PrefsWindowController : public QObject
{
    Q_OBJECT
public:
    static QString nibName() { return QStringLiteral("Preferences"); }
    static constexpr int kFadeMs = 250;
    static constexpr int kSlowFadeMs = 1250;

    explicit PrefsWindowController(QObject* parent = nullptr);
    ~PrefsWindowController() override;

    // The window, made on first use.
    QMainWindow* window();
    QWidget* contentSubview();

    // A page whose button shows the theme icon named like the label.
    void addView(QWidget* view, const QString& label);
    void addView(QWidget* view, const QString& label, const QIcon& image);
    // Rebuilds the toolbar from setupToolbar() and shows the first page.
    virtual void showWindow();
    void toggleActivePreferenceView(QAction* item);
    void displayViewForIdentifier(const QString& identifier, bool animate);

    bool crossFade() const { return m_crossFade; }
    void setCrossFade(bool on) { m_crossFade = on; }
    bool shiftSlowsAnimation() const { return m_shiftSlowsAnimation; }
    void setShiftSlowsAnimation(bool on) { m_shiftSlowsAnimation = on; }

    QStringList toolbarIdentifiers() const { return m_toolbarIdentifiers; }
    QToolBar* toolbar() const { return m_toolbar; }
    QAction* toolbarItem(const QString& identifier) const { return m_toolbarItems.value(identifier); }
    // The page on show (the most recently added one inside contentSubview).
    QWidget* currentView() const;
    // The window geometry that fits view: its size below the toolbar, the top edge where it is.
    QRect frameForView(QWidget* view);
    // How long a page change takes now: slower while Shift is held, when that is on.
    int animationDuration() const;
    bool isAnimating() const;

protected:
    // Adds the pages with addView().
    virtual void setupToolbar() = 0;
    void crossFadeView(QWidget* oldView, QWidget* newView);
    void animationDidEnd();

private:
    void windowDidLoad();
    void removeView(QWidget* view);
    void stopAnimation();
    void setWindowFrame(const QRect& frame);

    QStringList m_toolbarIdentifiers;
    QHash<QString, QPointer<QWidget>> m_toolbarViews;
    QHash<QString, QAction*> m_toolbarItems;
    std::unique_ptr<QMainWindow> m_window;
    QWidget* m_contentSubview = nullptr;
    QToolBar* m_toolbar = nullptr;
    QActionGroup* m_toolbarGroup = nullptr;
    QParallelAnimationGroup* m_viewAnimation = nullptr;
    // Pages inside contentSubview, in the order they were added; the last one is on show.
    QList<QPointer<QWidget>> m_subviews;
    bool m_crossFade = true;
    bool m_shiftSlowsAnimation = true;
};

#include "ui/BubbleStyle.h"

#include "ui/AttachedWindow.h"

#include <QKeyEvent>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>
#include <functional>

namespace {

// Return, Enter and Escape on the bubble run the answer.
class KeyAnswer : public QObject
{
public:
    KeyAnswer(std::function<void()> answer, QObject* parent) : QObject(parent), m_answer(std::move(answer)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_answer();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_answer;
};

} // namespace

void BubbleStyle::apply(AttachedWindow* bubble)
{
    bubble->setBorderColor(Qt::white);
    bubble->setBackgroundColor(background());
    bubble->setViewMargin(5);
    bubble->setBorderWidth(5);
    bubble->setCornerRadius(10);
}

void BubbleStyle::setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

AttachedWindow* BubbleStyle::show(QWidget* view, const QPointF& point, QWidget* window, int side,
                                  double distance, double arrowHeight)
{
    AttachedWindow* bubble = AttachedWindow::create(view, point, window, side, distance);
    if (!bubble)
        return nullptr;
    apply(bubble);
    bubble->setHasArrow(arrowHeight > 0);
    if (arrowHeight > 0) {
        bubble->setDrawsRoundCornerBesideArrow(true);
        bubble->setArrowBaseWidth(15);
        bubble->setArrowHeight(arrowHeight);
    }
    bubble->show();
    return bubble;
}

void BubbleStyle::answerFromKeyboard(AttachedWindow* bubble, QPushButton* ok)
{
    if (!bubble || !ok)
        return;
    ok->setDefault(true);
    // Queued: pressing OK deletes the bubble, and with it what delivers the key.
    const QPointer<QPushButton> button(ok);
    const auto press = [button] {
        if (button)
            QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
    };
    // Keys the bubble's controls leave unused reach the bubble itself.
    bubble->installEventFilter(new KeyAnswer(press, bubble));
    if (QWidget* top = bubble->parentWidget() ? bubble->parentWidget()->window() : nullptr) {
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), top);
        QObject::connect(escape, &QShortcut::activated, bubble, press);
        // With several tips up, each Escape dismisses one of them.
        QObject::connect(escape, &QShortcut::activatedAmbiguously, bubble, press);
        QObject::connect(bubble, &QObject::destroyed, escape, &QObject::deleteLater);
    }
}

void BubbleStyle::close(QPointer<AttachedWindow>& bubble)
{
    if (bubble) {
        bubble->close();
        delete bubble.data();
    }
    bubble = nullptr;
}

#include "ui/ImageAndChildText.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int kIconSize = 32;
constexpr int kMargin = 6;
constexpr int kButtonSize = 24;
} // namespace

QRect ImageAndChildText::buttonRect(const QRect& cell)
{
    return {cell.right() - kMargin - kButtonSize + 1, cell.top() + (cell.height() - kButtonSize) / 2,
            kButtonSize, kButtonSize};
}

bool ImageAndChildText::editorEvent(QEvent* event, QAbstractItemModel* model,
                                    const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonRelease && !index.data(kButtonIconRole).isNull()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            buttonRect(option.rect).contains(mouse->position().toPoint())) {
            Q_EMIT buttonClicked(index);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

void ImageAndChildText::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    painter->save();
    const QRect cell = option.rect;
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    const QRect iconRect(cell.left() + kMargin, cell.top() + (cell.height() - kIconSize) / 2, kIconSize,
                         kIconSize);
    icon.paint(painter, iconRect);

    const bool selected = option.state & QStyle::State_Selected;
    QColor colour = index.data(Qt::ForegroundRole).value<QColor>();
    if (!colour.isValid() || selected)
        colour = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    painter->setPen(colour);

    int textRight = cell.right();
    const QVariant button = index.data(kButtonIconRole);
    if (!button.isNull()) {
        const QRect buttonArea = buttonRect(cell);
        button.value<QIcon>().paint(painter, buttonArea);
        textRight = buttonArea.left() - kMargin;
    }
    const QRect text(iconRect.right() + kMargin, cell.top(), textRight - iconRect.right() - 2 * kMargin,
                     cell.height());
    QFont first = option.font;
    first.setBold(true);
    QFont second = option.font;
    second.setPointSizeF(option.font.pointSizeF() * 0.9);
    const int half = text.height() / 2;
    painter->setFont(first);
    painter->drawText(QRect(text.left(), text.top(), text.width(), half), Qt::AlignLeft | Qt::AlignBottom,
                      QFontMetrics(first).elidedText(index.data().toString(), Qt::ElideRight, text.width()));
    painter->setFont(second);
    painter->drawText(
        QRect(text.left(), text.top() + half, text.width(), half), Qt::AlignLeft | Qt::AlignTop,
        QFontMetrics(second).elidedText(index.data(kChildTextRole).toString(), Qt::ElideRight, text.width()));
    painter->restore();
}

QSize ImageAndChildText::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QSize base = QStyledItemDelegate::sizeHint(option, index);
    return {qMax(base.width(), kIconSize + 3 * kMargin + 120), qMax(base.height(), kIconSize + 2 * kMargin)};
}

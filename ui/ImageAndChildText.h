#pragma once

#include <QStyledItemDelegate>

// A table cell with an icon and two lines: the item's text, and under it a smaller second line
// taken from kChildTextRole. Not editable. A cell whose kButtonIconRole holds an icon also shows
// it as a button at its right end; a click on it is reported by buttonClicked.
class ImageAndChildText : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int kChildTextRole = Qt::UserRole + 1;
    static constexpr int kButtonIconRole = Qt::UserRole + 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    // Where the button of a cell is drawn.
    static QRect buttonRect(const QRect& cell);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget*, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return nullptr;
    }

Q_SIGNALS:
    void buttonClicked(const QModelIndex& index);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

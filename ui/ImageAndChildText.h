#pragma once

#include <QStyledItemDelegate>

// A table cell with an icon and two lines: the item's text, and under it a smaller second line
// taken from kChildTextRole. Not editable.
class ImageAndChildText : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int kChildTextRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget*, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return nullptr;
    }
};

#pragma once

#include "app/items/tableviewmodel.h"

#include <QAbstractTableModel>
#include <QRecursiveMutex>
#include <functional>

// The protected-item table's data source over the page's row list. Reads rows under the page's
// tableviewlock, since job threads change them.
class ItemTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        NameColumn,
        VaultColumn,
        SizeColumn,
        ColumnCount
    };
    static inline const QString kNameColumn = QStringLiteral("tablename");
    static inline const QString kVaultColumn = QStringLiteral("tableredirectpath");
    static inline const QString kSizeColumn = QStringLiteral("tablesize");

    using ToolTip = std::function<QString(const tableviewmodel& row)>;
    using Sort = std::function<void(int column, Qt::SortOrder order)>;

    ItemTableModel(const QList<tableviewmodel>& rows, QRecursiveMutex& lock, ToolTip toolTip, Sort sort,
                   QObject* parent = nullptr);

    static QString identifierOf(int column);
    // The text of a row's column by its identifier; other identifiers give an empty string.
    static QString objectValue(const tableviewmodel& row, const QString& identifier);

    // Tells the views that rows or their contents changed.
    void reload();
    // Tells the views that one row's contents changed (its selection stays).
    void rowChanged(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    const QList<tableviewmodel>& m_rows;
    QRecursiveMutex& m_lock;
    ToolTip m_toolTip;
    Sort m_sort;
};

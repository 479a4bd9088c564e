#pragma once

#include "app/vaults/harddisktable.h"

#include <QAbstractTableModel>
#include <functional>

// The vault table's data source over the page's row list. Only the path column is editable;
// an edit is handed to the page, which records it.
class VaultTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        NameColumn,
        PathColumn,
        SizeColumn,
        ColumnCount
    };
    static inline const QString kNameColumn = QStringLiteral("harddiskname");
    static inline const QString kPathColumn = QStringLiteral("harddiskpath");
    static inline const QString kSizeColumn = QStringLiteral("harddisksize");
    static inline const QString kNotAvailable = QStringLiteral("N/A");

    using PathEdited = std::function<void(int row, const QString& path)>;

    VaultTableModel(const QList<harddisktable>& rows, PathEdited pathEdited, QObject* parent = nullptr);

    // The text of a row's column by its identifier; other identifiers give an empty string.
    static QString objectValue(const harddisktable& row, const QString& identifier);

    // Tells the views that rows or their contents changed.
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    const QList<harddisktable>& m_rows;
    PathEdited m_pathEdited;
};

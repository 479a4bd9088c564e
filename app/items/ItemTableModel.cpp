#include "app/items/ItemTableModel.h"

#include "ui/ImageAndChildText.h"

#include <QColor>

ItemTableModel::ItemTableModel(const QList<tableviewmodel>& rows, QRecursiveMutex& lock, ToolTip toolTip,
                               Sort sort, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows), m_lock(lock), m_toolTip(std::move(toolTip)),
      m_sort(std::move(sort))
{}

QString ItemTableModel::identifierOf(int column)
{
    switch (column) {
    case NameColumn:
        return kNameColumn;
    case VaultColumn:
        return kVaultColumn;
    case SizeColumn:
        return kSizeColumn;
    default:
        return {};
    }
}

QString ItemTableModel::objectValue(const tableviewmodel& row, const QString& identifier)
{
    if (identifier == kNameColumn)
        return row.name();
    if (identifier == kVaultColumn)
        return row.claimsBusy() ? row.tablepercent().value() : row.redirectpath();
    if (identifier == kSizeColumn)
        return row.foldersize().value();
    return {};
}

void ItemTableModel::reload()
{
    beginResetModel();
    endResetModel();
}

void ItemTableModel::rowChanged(int row)
{
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int ItemTableModel::rowCount(const QModelIndex& parent) const
{
    QMutexLocker lock(&m_lock);
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ItemTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemTableModel::data(const QModelIndex& index, int role) const
{
    QMutexLocker lock(&m_lock);
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const tableviewmodel& row = m_rows.at(index.row());
    const bool nameColumn = index.column() == NameColumn;
    switch (role) {
    case Qt::DisplayRole:
        return objectValue(row, identifierOf(index.column()));
    case Qt::ToolTipRole:
        return m_toolTip ? m_toolTip(row) : QString();
    case Qt::DecorationRole:
        return nameColumn ? QVariant(row.appicon()) : QVariant();
    case ImageAndChildText::kChildTextRole:
        return nameColumn ? row.strstatus() : QString();
    case ImageAndChildText::kButtonIconRole:
        if (!nameColumn)
            return {};
        return row.imagenum() ? tableviewmodel::unlockedIcon() : tableviewmodel::lockedIcon();
    case Qt::ForegroundRole:
        if (index.column() == SizeColumn && row.foldersize().value() == tableviewmodel::kNotAvailable)
            return QColor(Qt::red);
        return {}; // the theme's text colour, dark themes included
    default:
        return {};
    }
}

QVariant ItemTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case VaultColumn:
        return QStringLiteral("Vault");
    case SizeColumn:
        return QStringLiteral("Size");
    default:
        return {};
    }
}

void ItemTableModel::sort(int column, Qt::SortOrder order)
{
    if (m_sort)
        m_sort(column, order);
}

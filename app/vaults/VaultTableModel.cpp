#include "app/vaults/VaultTableModel.h"

#include "ui/ImageAndChildText.h"

#include <QColor>

namespace {
const QString& identifierOf(int column)
{
    static const QString identifiers[] = {VaultTableModel::kNameColumn, VaultTableModel::kPathColumn,
                                          VaultTableModel::kSizeColumn};
    static const QString none;
    return column >= 0 && column < VaultTableModel::ColumnCount ? identifiers[column] : none;
}
} // namespace

VaultTableModel::VaultTableModel(const QList<harddisktable>& rows, PathEdited pathEdited, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows), m_pathEdited(std::move(pathEdited))
{}

QString VaultTableModel::objectValue(const harddisktable& row, const QString& identifier)
{
    if (identifier == kNameColumn)
        return row.name();
    if (identifier == kPathColumn)
        return row.diskpath();
    if (identifier == kSizeColumn)
        return row.disksize();
    return {};
}

void VaultTableModel::reload()
{
    beginResetModel();
    endResetModel();
}

int VaultTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int VaultTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant VaultTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const harddisktable& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return objectValue(row, identifierOf(index.column()));
    case Qt::DecorationRole:
        return index.column() == NameColumn ? QVariant(row.appicon()) : QVariant();
    case ImageAndChildText::kChildTextRole:
        return index.column() == NameColumn ? row.mountstatus() : QString();
    case Qt::ForegroundRole:
        // Only a missing vault is coloured; the rest keep the theme's text colour.
        return row.disksize() == kNotAvailable ? QVariant(QColor(Qt::red)) : QVariant();
    default:
        return {};
    }
}

QVariant VaultTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Vault");
    case PathColumn:
        return QStringLiteral("Location");
    case SizeColumn:
        return QStringLiteral("Size");
    default:
        return {};
    }
}

Qt::ItemFlags VaultTableModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == PathColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool VaultTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || index.column() != PathColumn || index.row() >= m_rows.size())
        return false;
    if (m_pathEdited)
        m_pathEdited(index.row(), value.toString());
    return true;
}

#include "addrbook/view/SuperGridModel.h"

#include "addrbook/AddrBook.h"

#include <QColor>
#include <QFont>

namespace velkor {

SuperGridModel::SuperGridModel(GridTree& tree, QObject* parent)
    : QAbstractTableModel(parent)
    , m_tree(tree)
{
    m_tree.SetListener(this);
}

SuperGridModel::~SuperGridModel()
{
    m_tree.SetListener(nullptr);
}

void SuperGridModel::addColumn(int index, const QString& header, Qt::Alignment alignment, velkor::AddrField field)
{
    index = std::clamp(index, 0, static_cast<int>(m_columns.size()));
    beginInsertColumns({}, index, index);
    m_columns.insert(m_columns.begin() + index, Column{header, alignment, field});
    endInsertColumns();
}

Qt::Alignment SuperGridModel::columnAlignment(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return Qt::AlignLeft;
    return m_columns[static_cast<size_t>(column)].alignment;
}

velkor::AddrField SuperGridModel::columnField(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return velkor::AddrField::Name;
    return m_columns[static_cast<size_t>(column)].field;
}

TreeItem* SuperGridModel::nodeAt(const QModelIndex& index) const
{
    return index.isValid() ? m_tree.NodeOfRow(index.row()) : nullptr;
}

int SuperGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_tree.GetRowCount();
}

int SuperGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant SuperGridModel::data(const QModelIndex& index, int role) const
{
    const TreeItem* node = nodeAt(index);
    if (!node)
        return {};
    const velkor_follow_rule_s rule = AddrBook::RuleOf(node);
    const bool name = columnField(index.column()) == velkor::AddrField::Name;
    switch (role) {
    case Qt::DisplayRole:
        // The priority, own or inherited, as a small number after the name.
        if (name && rule.priority != 0)
            return QString::fromStdString(node->entry.name) + QStringLiteral("  P%1").arg(rule.priority);
        return QString::fromStdString(node->entry.text(columnField(index.column())));
    case Qt::EditRole:
        return QString::fromStdString(node->entry.text(columnField(index.column())));
    case Qt::ForegroundRole:
        // A locked-out row is greyed and struck through.
        if (rule.lockout)
            return QColor(Qt::gray);
        return {};
    case Qt::FontRole:
        if (rule.lockout) {
            QFont font;
            font.setStrikeOut(true);
            return font;
        }
        return {};
    case Qt::CheckStateRole:
        if (index.column() == 0)
            return node->entry.checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(index.column()) | Qt::AlignVCenter);
    default:
        return {};
    }
}

bool SuperGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !nodeAt(index) || !m_commit)
        return false;
    m_commit(index.row(), index.column(), value.toString());
    return true;
}

QVariant SuperGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(m_columns.size()))
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[static_cast<size_t>(section)].header;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnAlignment(section) | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags SuperGridModel::flags(const QModelIndex& index) const
{
    if (!nodeAt(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // The ident is what the node is found by; it is never edited.
    if (columnField(index.column()) != velkor::AddrField::Ident)
        f |= Qt::ItemIsEditable;
    return f;
}

void SuperGridModel::rowsAboutToBeInserted(int first, int last)
{
    beginInsertRows({}, first, last);
}

void SuperGridModel::rowsInserted()
{
    endInsertRows();
}

void SuperGridModel::rowsAboutToBeRemoved(int first, int last)
{
    beginRemoveRows({}, first, last);
}

void SuperGridModel::rowsRemoved()
{
    endRemoveRows();
}

void SuperGridModel::rowChanged(int row)
{
    if (m_columns.empty())
        return;
    emit dataChanged(index(row, 0), index(row, static_cast<int>(m_columns.size()) - 1));
}

void SuperGridModel::fieldChanged(int row, velkor::AddrField field)
{
    for (int column = 0; column < static_cast<int>(m_columns.size()); ++column) {
        if (m_columns[static_cast<size_t>(column)].field != field)
            continue;
        const QModelIndex cell = index(row, column);
        emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole});
    }
}

void SuperGridModel::layoutAboutToChange()
{
    emit layoutAboutToBeChanged();
    // The rows follow their nodes: remember which node every persistent index (the
    // selection, the current cell) stood on.
    m_layoutIndexes = persistentIndexList();
    m_layoutNodes.clear();
    for (const QModelIndex& i : m_layoutIndexes)
        m_layoutNodes.emplace_back(nodeAt(i), i.column());
}

void SuperGridModel::layoutChanged()
{
    QModelIndexList now;
    for (const auto& [node, column] : m_layoutNodes)
        now.append(node && node->IsShown() ? index(node->row, column) : QModelIndex());
    changePersistentIndexList(m_layoutIndexes, now);
    m_layoutIndexes.clear();
    m_layoutNodes.clear();
    emit QAbstractItemModel::layoutChanged();
}

} // namespace velkor

// The Qt model over a GridTree: one model row per shown node, one column per grid
// column, each column showing one text of the node's record. It only reads the tree;
// changes come in through the tree's listener calls.
#pragma once

#include "addrbook/GridTree.h"

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <vector>

namespace velkor {

class SuperGridModel : public QAbstractTableModel, public GridTreeListener {
    Q_OBJECT
public:
    // An edited text on its way back to the grid's CommitCellText hook.
    using CommitFn = std::function<void(int row, int column, const QString& text)>;

    explicit SuperGridModel(GridTree& tree, QObject* parent = nullptr);
    ~SuperGridModel() override;

    void setCommitFunction(CommitFn fn) { m_commit = std::move(fn); }
    void addColumn(int index, const QString& header, Qt::Alignment alignment, velkor::AddrField field);
    Qt::Alignment columnAlignment(int column) const;
    // The text a column shows (the name for a column out of range).
    velkor::AddrField columnField(int column) const;

    TreeItem* nodeAt(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // GridTreeListener
    void rowsAboutToBeInserted(int first, int last) override;
    void rowsInserted() override;
    void rowsAboutToBeRemoved(int first, int last) override;
    void rowsRemoved() override;
    void rowChanged(int row) override;
    void fieldChanged(int row, velkor::AddrField field) override;
    void layoutAboutToChange() override;
    void layoutChanged() override;

private:
    struct Column {
        QString header;
        Qt::Alignment alignment;
        velkor::AddrField field;
    };
    GridTree& m_tree;
    std::vector<Column> m_columns;
    CommitFn m_commit;
    QModelIndexList m_layoutIndexes;
    std::vector<std::pair<TreeItem*, int>> m_layoutNodes;
};

} // namespace velkor

// A tree grid: a report-style list whose rows are the shown nodes of a tree, drawn
// indented by depth with tree lines, a +/- box, the node's image and a check box. Every
// cell of the selected row can be made current (Left/Right) and edited in place
// (Enter). The behaviour particular to one use of it lives in the hooks below.
#pragma once

#include "addrbook/GridTree.h"

#include <QColor>
#include <QPixmap>
#include <QTableView>

#include <memory>
#include <vector>

namespace velkor {

class SuperGridModel;
class SuperGridDelegate;

class CSuperGridCtrl : public QTableView {
    Q_OBJECT
public:
    using CTreeItem = velkor::TreeItem;

    struct HitInfo {
        int row = -1;
        int column = -1;
        QPoint pos;
    };
    // Where the parts of column 0 of a row are, in viewport coordinates.
    struct RowGeometry {
        QRect cell;
        QRect expandBox; // empty when the node has no children
        QRect image;
        QRect checkBox; // empty without check boxes
        int textLeft = 0;
    };

    explicit CSuperGridCtrl(std::unique_ptr<GridTree> tree, QWidget* parent = nullptr);
    ~CSuperGridCtrl() override;

    GridTree& Tree() { return *m_tree; }
    const GridTree& Tree() const { return *m_tree; }
    SuperGridModel& Model() { return *m_model; }
    const SuperGridModel& Model() const { return *m_model; }

    // The column shows the given text of every node's record.
    void InsertColumn(int index, const QString& header, int width, velkor::AddrField field,
                      Qt::Alignment alignment = Qt::AlignLeft);
    // The row images; their size is also the indentation step.
    void SetImageList(std::vector<QPixmap> images);
    const std::vector<QPixmap>& ImageList() const { return m_images; }
    QSize ImageSize() const { return m_imageSize; }
    void SetCheckBoxes(bool on);
    bool HasCheckBoxes() const { return m_checkBoxes; }

    TreeItem* NodeOfRow(int row) const { return m_tree->NodeOfRow(row); }
    int RowOfNode(const TreeItem* node) const { return m_tree->RowOfNode(node); }
    TreeItem* GetSelectedNode() const;
    int GetSelectedRow() const;
    void SelectRow(int row);
    int GetCurrentColumn() const { return m_curSubItem; }
    void SetCurrentColumn(int column);

    bool Expand(TreeItem* node);
    bool Collapse(TreeItem* node);
    void ExpandAll(TreeItem* node);
    void DeleteNode(TreeItem* node);
    // Expands the node's ancestors, selects its row and scrolls it into view. While an
    // edit box is open the row is only highlighted: moving the current cell would end
    // the edit. The row becomes current and is scrolled to when the edit ends.
    void SelectNode(TreeItem* node);
    // Opens the edit box over a cell of a row; false when the cell cannot be edited.
    bool EditCell(int row, int column);

    RowGeometry GeometryOfRow(int row) const;
    // Cut with "..." to fit width: the longest prefix that fits with the ellipsis.
    static QString ElideText(const QFontMetrics& fm, const QString& text, int width);

    // Hooks.
    virtual int NodeImage(const TreeItem* node) const;
    virtual QColor CurrentCellColor() const { return QColor(192, 0, 0); }
    virtual void CommitCellText(TreeItem* node, int row, int column, const QString& text);
    virtual void CellMouseDown(const HitInfo& hit);
    virtual bool BeforeExpand(TreeItem*, int) { return true; }
    virtual bool AfterExpand(TreeItem*, int) { return true; }
    virtual bool BeforeCollapse(TreeItem*) { return true; }
    virtual bool AfterCollapse(TreeItem*) { return true; }
    virtual bool BeforeDelete(TreeItem*, int) { return true; }
    virtual bool BeforeExpandAll(TreeItem*, int) { return true; }
    virtual bool BeforeKeyCollapse(TreeItem*, int) { return true; }
    virtual bool BeforeKeyExpand(TreeItem*, int) { return true; }
    virtual bool EnterOnCell() { return false; }
    // The user flips a node's tick: Space (byKey) or a click on its check box. The
    // default flips it and writes the new value into every descendant.
    virtual void CheckByUser(TreeItem* node, bool byKey);
    // Takes what an open edit box holds into its cell and closes it (before the book is
    // saved at a signal, which would otherwise lose the typed text).
    void CommitOpenEditor();
    virtual bool AllowMouseDown(const HitInfo&) { return true; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class SuperGridDelegate;
    void toggleByUser(TreeItem* node);
    void flipCheck(TreeItem* node);
    void moveCurrentColumn(int delta);
    void updateRowHeight();

    // The model listens to the tree, so it must go first; it has no Qt parent for that
    // reason (Qt would delete it only after these members are gone).
    std::unique_ptr<GridTree> m_tree;
    std::unique_ptr<SuperGridModel> m_model;
    SuperGridDelegate* m_delegate = nullptr; // owned by this widget (Qt parent)
    std::vector<QPixmap> m_images;
    QSize m_imageSize{16, 16};
    bool m_checkBoxes = false;
    int m_curSubItem = 0;
    // A row selected while an edit box was open, made current when the edit ends.
    QPersistentModelIndex m_pendingSelect;
};

} // namespace velkor

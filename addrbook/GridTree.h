// The tree of the address book's records together with the list of its shown rows, and
// an index of every level by ident. It knows nothing of any toolkit, of columns or of
// images: a view follows it through GridTreeListener, so the same tree (and the
// address book built on it) also serves the command-line tools and the tests.
#pragma once

#include "addrbook/TreeItem.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace velkor {

class GridTreeListener {
public:
    virtual ~GridTreeListener() = default;
    virtual void rowsAboutToBeInserted(int first, int last) = 0;
    virtual void rowsInserted() = 0;
    virtual void rowsAboutToBeRemoved(int first, int last) = 0;
    virtual void rowsRemoved() = 0;
    // The image, check mark or +/- box of a shown row changed.
    virtual void rowChanged(int row) = 0;
    // One text of a shown row's record changed. Kept apart from rowChanged so that a
    // report stamping a unit's Last Seen leaves an editor open on another cell of that
    // row alone.
    virtual void fieldChanged(int row, velkor::AddrField field) = 0;
    // Shown rows are reordered (children of an expanded node sorted).
    virtual void layoutAboutToChange() = 0;
    virtual void layoutChanged() = 0;
};

class GridTree {
public:
    GridTree() = default;
    GridTree(const GridTree&) = delete;
    GridTree& operator=(const GridTree&) = delete;
    virtual ~GridTree() = default;

    void SetListener(GridTreeListener* listener) { m_listener = listener; }

    const std::vector<std::unique_ptr<TreeItem>>& Roots() const { return m_roots; }
    int GetRowCount() const { return static_cast<int>(m_rows.size()); }
    TreeItem* NodeOfRow(int row) const;
    int RowOfNode(const TreeItem* node) const { return node ? node->row : -1; }

    // Both return the new node; InsertChild nullptr without a parent. A root goes to the
    // given place among the roots (the end by default).
    TreeItem* InsertRoot(velkor::AddrEntry entry, size_t position = SIZE_MAX);
    TreeItem* InsertChild(TreeItem* parent, velkor::AddrEntry entry);
    // The root (for nullptr) or the child of parent whose ident is the text; nullptr if
    // there is none.
    TreeItem* Find(const TreeItem* parent, const std::string& ident) const;

    // Shows the children of a collapsed node (one level); false if nothing changed.
    bool Expand(TreeItem* node);
    // Hides all descendants and marks every one of them collapsed.
    bool Collapse(TreeItem* node);
    void ExpandAll(TreeItem* node);
    // Expands every collapsed ancestor, so that the node gets a row.
    void ShowNode(TreeItem* node);
    // Removes the node with its subtree; the parent left without children collapses.
    void DeleteNode(TreeItem* node);
    void DeleteAll();

    // Byte-wise ascending by name; equal names keep their order.
    void SortChildren(TreeItem* node, bool recursive);

    void SetCheck(TreeItem* node, bool on);
    // Writes the value into every descendant, shown or not.
    void SetCheckDeep(TreeItem* node, bool on);
    // Stores a text into the node's record and refreshes it where it is shown. The
    // ident is not changed this way: it is what the node is found by.
    void SetField(TreeItem* node, velkor::AddrField field, std::string text);
    // Tells the view that a shown node's row must be redrawn.
    void NodeChanged(const TreeItem* node);

    // Number of shown rows below the node.
    int ShownDescendants(const TreeItem* node) const;

private:
    void insertRows(int position, const std::vector<TreeItem*>& nodes);
    void removeRows(int first, int count);
    void renumberFrom(int row);
    static void collectShownChildren(TreeItem* node, std::vector<TreeItem*>& out);
    static void sortLevel(std::vector<std::unique_ptr<TreeItem>>& nodes, bool recursive);
    void relayoutAfterSort(TreeItem* node);

    static void unindex(std::unordered_map<std::string, TreeItem*>& index,
                        const std::vector<std::unique_ptr<TreeItem>>& siblings, const TreeItem* node);

    std::vector<std::unique_ptr<TreeItem>> m_roots;
    std::unordered_map<std::string, TreeItem*> m_rootIndex;
    std::vector<TreeItem*> m_rows;
    GridTreeListener* m_listener = nullptr;
};

} // namespace velkor

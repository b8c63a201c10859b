#include "addrbook/GridTree.h"

#include <algorithm>

namespace velkor {

TreeItem* GridTree::NodeOfRow(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return nullptr;
    return m_rows[static_cast<size_t>(row)];
}

void GridTree::renumberFrom(int row)
{
    for (size_t i = static_cast<size_t>(std::max(row, 0)); i < m_rows.size(); ++i)
        m_rows[i]->row = static_cast<int>(i);
}

void GridTree::insertRows(int position, const std::vector<TreeItem*>& nodes)
{
    if (nodes.empty())
        return;
    const int last = position + static_cast<int>(nodes.size()) - 1;
    if (m_listener)
        m_listener->rowsAboutToBeInserted(position, last);
    m_rows.insert(m_rows.begin() + position, nodes.begin(), nodes.end());
    renumberFrom(position);
    if (m_listener)
        m_listener->rowsInserted();
}

void GridTree::removeRows(int first, int count)
{
    if (count <= 0)
        return;
    if (m_listener)
        m_listener->rowsAboutToBeRemoved(first, first + count - 1);
    for (int i = first; i < first + count; ++i)
        m_rows[static_cast<size_t>(i)]->row = -1;
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + first + count);
    renumberFrom(first);
    if (m_listener)
        m_listener->rowsRemoved();
}

int GridTree::ShownDescendants(const TreeItem* node) const
{
    if (!node || !node->IsShown() || node->collapsed)
        return 0;
    // The shown descendants are exactly the rows after the node that are deeper.
    int n = 0;
    for (size_t i = static_cast<size_t>(node->row) + 1; i < m_rows.size() && m_rows[i]->indent > node->indent; ++i)
        ++n;
    return n;
}

TreeItem* GridTree::Find(const TreeItem* parent, const std::string& ident) const
{
    const auto& index = parent ? parent->index : m_rootIndex;
    const auto it = index.find(ident);
    return it == index.end() ? nullptr : it->second;
}

void GridTree::unindex(std::unordered_map<std::string, TreeItem*>& index,
                       const std::vector<std::unique_ptr<TreeItem>>& siblings, const TreeItem* node)
{
    const auto it = index.find(node->entry.ident);
    if (it == index.end() || it->second != node)
        return;
    index.erase(it);
    // The book never holds two siblings with one ident, but a tree built by hand may:
    // the next of them is found from now on, as a search in order would find it.
    for (const auto& sibling : siblings) {
        if (sibling.get() != node && sibling->entry.ident == node->entry.ident) {
            index.emplace(sibling->entry.ident, sibling.get());
            return;
        }
    }
}

TreeItem* GridTree::InsertRoot(velkor::AddrEntry entry, size_t position)
{
    auto node = std::make_unique<TreeItem>();
    node->entry = std::move(entry);
    node->indent = 1;
    TreeItem* raw = node.get();
    m_rootIndex.try_emplace(raw->entry.ident, raw);
    position = std::min(position, m_roots.size());
    // Roots always have rows: the new one goes where the root it displaces begins.
    const int row = position < m_roots.size() ? m_roots[position]->row : static_cast<int>(m_rows.size());
    m_roots.insert(m_roots.begin() + static_cast<std::ptrdiff_t>(position), std::move(node));
    insertRows(row, {raw});
    return raw;
}

TreeItem* GridTree::InsertChild(TreeItem* parent, velkor::AddrEntry entry)
{
    if (!parent)
        return nullptr;
    auto node = std::make_unique<TreeItem>();
    node->entry = std::move(entry);
    node->parent = parent;
    node->indent = parent->indent + 1;
    TreeItem* raw = node.get();
    parent->index.try_emplace(raw->entry.ident, raw);
    const bool hadChildren = parent->HasChildren();
    if (!parent->collapsed && parent->IsShown()) {
        const int position = parent->row + ShownDescendants(parent) + 1;
        parent->children.push_back(std::move(node));
        insertRows(position, {raw});
    } else {
        parent->children.push_back(std::move(node));
    }
    if (!hadChildren)
        NodeChanged(parent); // it gains its +/- box
    return raw;
}

bool GridTree::Expand(TreeItem* node)
{
    if (!node || !node->collapsed || !node->HasChildren() || !node->IsShown())
        return false;
    node->collapsed = false;
    std::vector<TreeItem*> shown;
    shown.reserve(node->children.size());
    for (const auto& c : node->children)
        shown.push_back(c.get());
    insertRows(node->row + 1, shown);
    NodeChanged(node);
    return true;
}

namespace {
void markCollapsed(TreeItem* node)
{
    if (node->collapsed)
        return;
    node->collapsed = true;
    for (const auto& c : node->children)
        markCollapsed(c.get());
}
} // namespace

bool GridTree::Collapse(TreeItem* node)
{
    if (!node || node->collapsed)
        return false;
    const int count = ShownDescendants(node);
    markCollapsed(node);
    if (node->IsShown()) {
        removeRows(node->row + 1, count);
        NodeChanged(node);
    }
    return true;
}

void GridTree::ExpandAll(TreeItem* node)
{
    if (!node)
        return;
    Expand(node);
    if (node->collapsed)
        return;
    for (const auto& c : node->children)
        ExpandAll(c.get());
}

void GridTree::ShowNode(TreeItem* node)
{
    std::vector<TreeItem*> chain;
    for (TreeItem* p = node ? node->parent : nullptr; p; p = p->parent)
        chain.push_back(p);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        Expand(*it);
}

void GridTree::DeleteNode(TreeItem* node)
{
    if (!node)
        return;
    if (node->IsShown()) {
        const int count = 1 + ShownDescendants(node);
        removeRows(node->row, count);
    }
    TreeItem* parent = node->parent;
    auto& siblings = parent ? parent->children : m_roots;
    const auto it = std::find_if(siblings.begin(), siblings.end(), [node](const auto& p) { return p.get() == node; });
    if (it == siblings.end())
        return;
    unindex(parent ? parent->index : m_rootIndex, siblings, node);
    siblings.erase(it); // frees the node, its data and its subtree
    if (parent && !parent->HasChildren()) {
        parent->collapsed = true;
        NodeChanged(parent);
    }
}

void GridTree::DeleteAll()
{
    removeRows(0, static_cast<int>(m_rows.size()));
    m_rootIndex.clear();
    m_roots.clear();
}

void GridTree::sortLevel(std::vector<std::unique_ptr<TreeItem>>& nodes, bool recursive)
{
    // std::string compares as unsigned bytes, which is the order the file has always had.
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const auto& a, const auto& b) { return a->entry.name < b->entry.name; });
    if (recursive)
        for (auto& n : nodes)
            sortLevel(n->children, true);
}

void GridTree::collectShownChildren(TreeItem* node, std::vector<TreeItem*>& out)
{
    if (node->collapsed)
        return;
    for (const auto& c : node->children) {
        out.push_back(c.get());
        collectShownChildren(c.get(), out);
    }
}

void GridTree::relayoutAfterSort(TreeItem* node)
{
    // Only an expanded node's rows move; the rows of its subtree are rebuilt in place.
    std::vector<TreeItem*> shown;
    collectShownChildren(node, shown);
    std::copy(shown.begin(), shown.end(), m_rows.begin() + node->row + 1);
    renumberFrom(node->row + 1);
}

void GridTree::SortChildren(TreeItem* node, bool recursive)
{
    if (!node || node->children.empty())
        return;
    const bool moves = !node->collapsed && node->IsShown();
    if (moves && m_listener)
        m_listener->layoutAboutToChange();
    sortLevel(node->children, recursive);
    if (moves) {
        relayoutAfterSort(node);
        if (m_listener)
            m_listener->layoutChanged();
    }
}

void GridTree::NodeChanged(const TreeItem* node)
{
    if (m_listener && node && node->IsShown())
        m_listener->rowChanged(node->row);
}

void GridTree::SetCheck(TreeItem* node, bool on)
{
    if (!node)
        return;
    node->entry.checked = on;
    NodeChanged(node);
}

void GridTree::SetCheckDeep(TreeItem* node, bool on)
{
    if (!node)
        return;
    for (const auto& c : node->children) {
        SetCheck(c.get(), on);
        SetCheckDeep(c.get(), on);
    }
}

void GridTree::SetField(TreeItem* node, velkor::AddrField field, std::string text)
{
    if (!node || field == velkor::AddrField::Ident)
        return;
    std::string& stored = node->entry.text(field);
    if (stored == text)
        return;
    stored = std::move(text);
    if (m_listener && node->IsShown())
        m_listener->fieldChanged(node->row, field);
}

} // namespace velkor

#include "addrbook/view/AddrBookUndo.h"

#include "addrbook/view/CAddrBookCtrl.h"

#include <algorithm>

namespace velkor {

namespace {

NodeCopy copyOf(const TreeItem* node)
{
    NodeCopy copy{node->entry, {}};
    for (const auto& child : node->children)
        copy.children.push_back(copyOf(child.get()));
    return copy;
}

// Puts a deleted subtree back. Where traffic has made one of its nodes again meanwhile,
// the node takes back the user's texts, tick and rules and keeps the later Last Seen.
void restore(AddrBook& book, TreeItem* parent, const NodeCopy& copy, size_t position)
{
    TreeItem* node = book.Find(parent, copy.entry.ident);
    if (!node) {
        node =
            parent ? book.InsertChild(parent, AddrEntry(copy.entry)) : book.InsertRoot(AddrEntry(copy.entry), position);
        if (!node)
            return;
        if (parent && parent->collapsed)
            book.SortChildren(parent, false);
    } else {
        book.SetField(node, AddrField::Name, copy.entry.name);
        book.SetField(node, AddrField::Comment, copy.entry.comment);
        book.SetField(node, AddrField::LastSeen, std::max(node->entry.lastSeen, copy.entry.lastSeen));
        book.SetCheck(node, copy.entry.checked);
        book.SetRule(node, copy.entry.lockout, copy.entry.priority);
    }
    for (const NodeCopy& child : copy.children)
        restore(book, node, child, SIZE_MAX);
}

void collectTicks(const TreeItem* node, IdentPath& path, std::vector<std::pair<IdentPath, bool>>& out)
{
    path.push_back(node->entry.ident);
    out.emplace_back(path, node->entry.checked);
    for (const auto& child : node->children)
        collectTicks(child.get(), path, out);
    path.pop_back();
}

} // namespace

IdentPath identPathOf(const TreeItem* node)
{
    IdentPath path;
    for (; node; node = node->parent)
        path.insert(path.begin(), node->entry.ident);
    return path;
}

TreeItem* nodeAtPath(const AddrBook& book, const IdentPath& path)
{
    TreeItem* node = nullptr;
    for (const std::string& ident : path) {
        node = book.Find(node, ident);
        if (!node)
            return nullptr;
    }
    return node;
}

BookStep::BookStep(CAddrBookCtrl& grid, IdentPath path, const QString& text)
    : QUndoCommand(text)
    , m_grid(grid)
    , m_path(std::move(path))
{
}

AddrBook& BookStep::book()
{
    return m_grid.Book();
}

NewNodeStep::NewNodeStep(CAddrBookCtrl& grid, IdentPath path, const QString& text)
    : BookStep(grid, std::move(path), text)
{
}

void NewNodeStep::redo()
{
    TreeItem* parent = nodeAtPath(book(), IdentPath(m_path.begin(), m_path.end() - 1));
    if (m_path.size() > 1 && !parent)
        return;
    const unsigned long number = std::stoul(m_path.back());
    if (TreeItem* node = book().EnsureNode(parent, static_cast<uint32_t>(number)))
        m_grid.SelectNode(node);
}

void NewNodeStep::undo()
{
    if (TreeItem* node = nodeAtPath(book(), m_path))
        m_grid.DeleteNode(node);
}

DeleteStep::DeleteStep(CAddrBookCtrl& grid, IdentPath path, const QString& text)
    : BookStep(grid, std::move(path), text)
{
}

void DeleteStep::redo()
{
    TreeItem* node = nodeAtPath(book(), m_path);
    m_deleted = node != nullptr;
    if (!node)
        return;
    m_copy = copyOf(node);
    const auto& roots = book().Roots();
    m_position = static_cast<size_t>(
        std::find_if(roots.begin(), roots.end(), [node](const auto& r) { return r.get() == node; }) - roots.begin());
    m_grid.DeleteNode(node);
}

void DeleteStep::undo()
{
    if (!m_deleted)
        return;
    // The steps above this one are undone first, so its system and fleet are there.
    TreeItem* parent = nodeAtPath(book(), IdentPath(m_path.begin(), m_path.end() - 1));
    if (m_path.size() > 1 && !parent)
        return;
    restore(book(), parent, m_copy, m_position);
    if (TreeItem* node = nodeAtPath(book(), m_path))
        m_grid.SelectNode(node);
}

TickStep::TickStep(CAddrBookCtrl& grid, IdentPath path, bool on, const QString& text)
    : BookStep(grid, std::move(path), text)
    , m_on(on)
{
}

void TickStep::redo()
{
    TreeItem* node = nodeAtPath(book(), m_path);
    if (!node)
        return;
    m_before.clear();
    IdentPath above(m_path.begin(), m_path.end() - 1);
    collectTicks(node, above, m_before);
    book().SetCheck(node, m_on);
    if (node->HasChildren())
        book().SetCheckDeep(node, m_on);
}

void TickStep::undo()
{
    for (const auto& [path, on] : m_before)
        if (TreeItem* node = nodeAtPath(book(), path))
            book().SetCheck(node, on);
}

EditStep::EditStep(CAddrBookCtrl& grid, IdentPath path, AddrField field, std::string text, const QString& what)
    : BookStep(grid, std::move(path), what)
    , m_field(field)
    , m_text(std::move(text))
{
}

void EditStep::redo()
{
    if (TreeItem* node = nodeAtPath(book(), m_path)) {
        m_before = node->entry.text(m_field);
        book().CommitField(node, m_field, m_text);
    }
}

void EditStep::undo()
{
    if (TreeItem* node = nodeAtPath(book(), m_path))
        book().SetField(node, m_field, m_before);
}

} // namespace velkor

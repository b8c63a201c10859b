// The book changes the user makes by hand, as steps of a QUndoStack: a new node, a
// deletion, a tick, an edited text. A step names its nodes by their idents (system
// first), never by pointer, so that what traffic does meanwhile (new nodes, Last Seen)
// neither breaks a step nor is undone by it.
#pragma once

#include "addrbook/AddrBook.h"

#include <QUndoCommand>

#include <string>
#include <vector>

namespace velkor {

class CAddrBookCtrl;

using IdentPath = std::vector<std::string>;

IdentPath identPathOf(const TreeItem* node);
TreeItem* nodeAtPath(const AddrBook& book, const IdentPath& path);

// A node with its subtree, as it was before a deletion.
struct NodeCopy {
    AddrEntry entry;
    std::vector<NodeCopy> children;
};

class BookStep : public QUndoCommand {
protected:
    BookStep(CAddrBookCtrl& grid, IdentPath path, const QString& text);
    AddrBook& book();
    CAddrBookCtrl& m_grid;
    IdentPath m_path;
};

// A system, fleet or unit made by hand (the last ident of the path).
class NewNodeStep : public BookStep {
public:
    NewNodeStep(CAddrBookCtrl& grid, IdentPath path, const QString& text);
    void redo() override;
    void undo() override;
};

class DeleteStep : public BookStep {
public:
    DeleteStep(CAddrBookCtrl& grid, IdentPath path, const QString& text);
    void redo() override;
    void undo() override;

private:
    NodeCopy m_copy;
    size_t m_position = 0; // among the roots, for a system
    bool m_deleted = false;
};

// A tick set or cleared on a node and every node below it.
class TickStep : public BookStep {
public:
    TickStep(CAddrBookCtrl& grid, IdentPath path, bool on, const QString& text);
    void redo() override;
    void undo() override;

private:
    bool m_on;
    std::vector<std::pair<IdentPath, bool>> m_before;
};

class EditStep : public BookStep {
public:
    EditStep(CAddrBookCtrl& grid, IdentPath path, AddrField field, std::string text, const QString& what);
    void redo() override;
    void undo() override;

private:
    AddrField m_field;
    std::string m_text, m_before;
};

} // namespace velkor

// One node of the address book's tree: a record, its children and its place among the
// shown rows. The node owns its children; the tree owns the roots.
#pragma once

#include "addrbook/AddrEntry.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace velkor {

class TreeItem {
public:
    std::vector<std::unique_ptr<TreeItem>> children;
    // The children by ident, so that a report finds its unit without reading the
    // texts of its siblings. The first child with an ident wins, as a search would.
    std::unordered_map<std::string, TreeItem*> index;
    TreeItem* parent = nullptr;
    velkor::AddrEntry entry;
    // Every node starts collapsed; an expanded node always has a row of its own,
    // since collapsing a node collapses all its descendants as well.
    bool collapsed = true;
    // Row in the grid while shown, -1 otherwise. Kept current by GridTree.
    int row = -1;
    // 1 for a system, 2 for a fleet, 3 for a unit.
    int indent = 1;
    // Anything but -1 makes the node count as having children even without any.
    int childrenFlag = -1;

    bool HasChildren() const { return !children.empty() || childrenFlag != -1; }
    bool IsShown() const { return row >= 0; }
};

} // namespace velkor

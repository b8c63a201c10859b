// One node of the tree grid. The node owns its data and its children; the grid owns
// the roots.
#pragma once

#include "addrbook/CItemInfo.h"

#include <memory>
#include <vector>

class CTreeItem {
public:
    std::vector<std::unique_ptr<CTreeItem>> children;
    CTreeItem* parent = nullptr;
    std::unique_ptr<CItemInfo> data;
    // Every node starts collapsed; an expanded node always has a row of its own,
    // since collapsing a node collapses all its descendants as well.
    bool collapsed = true;
    // Row in the grid while shown, -1 otherwise. Kept current by CGridTree.
    int row = -1;
    int indent = 1;
    // Anything but -1 makes the node count as having children even without any.
    int childrenFlag = -1;

    bool HasChildren() const { return !children.empty() || childrenFlag != -1; }
    bool IsShown() const { return row >= 0; }
};

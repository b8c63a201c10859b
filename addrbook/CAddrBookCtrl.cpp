#include "addrbook/CAddrBookCtrl.h"

#include "addrbook/AddrBookImages.h"

CAddrBookCtrl::CAddrBookCtrl(QWidget* parent)
    : CSuperGridCtrl(std::make_unique<CAddrBook>(), parent)
{
    SetImageList(makeAddrBookImages());
    SetCheckBoxes(true);
}

void CAddrBookCtrl::InitializeGrid()
{
    InsertColumn(CAddrBook::kColName, QStringLiteral("Name"), 240);
    InsertColumn(CAddrBook::kColIdent, QStringLiteral("Ident"), 50);
    InsertColumn(CAddrBook::kColComment, QStringLiteral("Comment"), 240);
    InsertColumn(CAddrBook::kColLastSeen, QStringLiteral("Last Seen"), 120);
}

int CAddrBookCtrl::IsAddrChecked(const velkor_address_s& a, int select)
{
    CTreeItem* unit = nullptr;
    const int result = Book().IsAddrChecked(a, &unit);
    if (result == 1 && select)
        SelectNode(unit);
    return result;
}

int CAddrBookCtrl::NodeImage(const CTreeItem* node) const
{
    return node && node->data ? node->data->GetImage() : -1;
}

void CAddrBookCtrl::CommitCellText(CTreeItem* node, int, int column, const QString& text)
{
    Book().CommitCellText(node, column, text.toStdString());
}

void CAddrBookCtrl::CellMouseDown(const HitInfo&)
{
    // A click only selects and makes the column current; editing is by keyboard.
    // (A drop-down column would open here; the address book has none.)
}

bool CAddrBookCtrl::AfterCollapse(CTreeItem* node)
{
    // Nodes added while the node was open were appended; now they take their places.
    Book().SortChildren(node, false);
    return true;
}

bool CAddrBookCtrl::EnterOnCell()
{
    const CTreeItem* node = GetSelectedNode();
    const int column = GetCurrentColumn();
    if (!node || !node->data || column < 1)
        return false;
    CItemInfo::CONTROLTYPE type;
    if (!node->data->GetControlType(column - 1, type))
        return false;
    // A drop-down list would open for combobox; none exists in the address book, and
    // the Ident (noedit) opens nothing.
    return true;
}

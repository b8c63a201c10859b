#include "addrbook/CAddrBook.h"

#include "addrbook/AddrText.h"
#include "notify/MessageBox.h"

#include <cstdio>

CAddrBook::CAddrBook()
    : m_clock([] { return std::time(nullptr); })
    , m_log([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); })
{
}

void CAddrBook::log(const std::string& text) const
{
    if (m_log)
        m_log(text);
}

std::unique_ptr<CItemInfo> CAddrBook::MakeNodeData(int image, std::string name, std::string ident,
                                                   std::string comment, bool checked)
{
    auto data = std::make_unique<CItemInfo>();
    data->SetImage(image);
    data->SetItemText(std::move(name));
    data->SetSubItemText(kColIdent - 1, std::move(ident));
    data->SetSubItemText(kColComment - 1, std::move(comment));
    data->SetSubItemText(kColLastSeen - 1, "");
    data->SetCheck(checked);
    // The Ident is the node's identity in the book and in the file.
    data->SetControlType(kColIdent - 1, CItemInfo::noedit);
    return data;
}

CTreeItem* CAddrBook::insertNode(CTreeItem* parent, std::unique_ptr<CItemInfo> data)
{
    return parent ? InsertChild(parent, std::move(data)) : InsertRoot(std::move(data));
}

CTreeItem* CAddrBook::GetRoot(const std::string& ident) const
{
    for (const auto& root : Roots()) {
        if (!root->data) {
            showMessageBox("Error in CAddrBookCtrl::GetRoot()!");
            return nullptr;
        }
        if (root->data->GetSubItem(kColIdent - 1) == ident)
            return root.get();
    }
    return nullptr;
}

CTreeItem* CAddrBook::FindChild(const CTreeItem* parent, const std::string& ident) const
{
    if (!parent)
        return nullptr;
    for (const auto& child : parent->children)
        if (child->data && child->data->GetSubItem(kColIdent - 1) == ident)
            return child.get();
    return nullptr;
}

CTreeItem* CAddrBook::FindAddr(const velkor_address_s& a) const
{
    if (a.system == 0)
        return nullptr;
    CTreeItem* node = GetRoot(Ident(a.system));
    if (!node || a.fleet == 0)
        return node;
    node = FindChild(node, Ident(a.fleet));
    if (!node || a.unit == 0)
        return node;
    return FindChild(node, Ident(a.unit));
}

std::string CAddrBook::GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const
{
    if (system == 0)
        return "UNKNOWN";
    std::string result = Ident(system);
    const CTreeItem* sys = GetRoot(result);
    if (!sys)
        return result;
    if (fleet == 0) {
        if (!sys->data) {
            showMessageBox("Error getting system node data in CAddrBookCtrl::GetAddrName()!");
            return result;
        }
        return sys->data->GetItemText();
    }
    result = Ident(fleet);
    const CTreeItem* flt = FindChild(sys, result);
    if (!flt)
        return result;
    if (unit == 0) {
        if (!flt->data) {
            showMessageBox("Error getting fleet node data in CAddrBookCtrl::GetAddrName()!");
            return result;
        }
        return flt->data->GetItemText();
    }
    result = Ident(unit);
    const CTreeItem* u = FindChild(flt, result);
    if (!u)
        return result;
    if (!u->data) {
        showMessageBox("Error getting addr node data in CAddrBookCtrl::GetAddrName()!");
        return result;
    }
    return u->data->GetItemText();
}

std::string CAddrBook::FormatLastSeen(std::time_t t)
{
    std::tm tm {};
    if (!localtime_r(&t, &tm))
        return {};
    char buf[64];
    const size_t n = std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
    return std::string(buf, n);
}

std::string CAddrBook::Now() const
{
    return FormatLastSeen(m_clock ? m_clock() : std::time(nullptr));
}

void CAddrBook::stamp(CTreeItem* unit)
{
    // Through the tree, so that a shown row shows the new time at once.
    SetCellText(unit, kColLastSeen, Now());
}

CTreeItem* CAddrBook::EnsureNode(CTreeItem* parent, uint32_t number, bool* created)
{
    if (created)
        *created = false;
    if (number == 0 || (parent && parent->indent > 2))
        return nullptr;
    const std::string ident = Ident(number);
    if (!parent) {
        if (CTreeItem* sys = GetRoot(ident))
            return sys;
        CTreeItem* sys = insertNode(nullptr, MakeNodeData(kImageSystem, "New System", ident, "", false));
        if (!sys) {
            showMessageBox("Error inserting system in addressbook!");
            return nullptr;
        }
        if (created)
            *created = true;
        return sys;
    }
    if (CTreeItem* child = FindChild(parent, ident))
        return child;
    const bool fleet = parent->indent == 1;
    CTreeItem* child = fleet ? insertNode(parent, MakeNodeData(kImageFleet, "Fleet " + ident, ident, "", false))
                             : insertNode(parent, MakeNodeData(kImageUnit, ident, ident, "", true));
    if (!child) {
        showMessageBox(fleet ? "Error inserting fleet in addressbook!" : "Error inserting addr in addressbook!");
        return nullptr;
    }
    // Under an expanded parent the new row stays where it was appended until the parent
    // is next collapsed, so that rows do not jump under the user's eyes.
    if (parent->collapsed)
        SortChildren(parent, false);
    if (created)
        *created = true;
    return child;
}

CTreeItem* CAddrBook::EnsureAddr(const velkor_address_s& a, bool* created)
{
    if (created)
        *created = false;
    CTreeItem* node = EnsureNode(nullptr, a.system, created);
    if (node && a.fleet != 0) {
        node = EnsureNode(node, a.fleet, created);
        if (node && a.unit != 0)
            node = EnsureNode(node, a.unit, created);
    }
    return node;
}

void CAddrBook::AddAddr(const velkor_address_s& a)
{
    CTreeItem* node = EnsureAddr(a);
    if (node && a.fleet != 0 && a.unit != 0)
        stamp(node);
}

int CAddrBook::IsAddrChecked(const velkor_address_s& a, CTreeItem** unitOut)
{
    if (unitOut)
        *unitOut = nullptr;
    // A zero fleet or unit never matches: no node is ever created with Ident "0".
    CTreeItem* sys = GetRoot(Ident(a.system));
    CTreeItem* flt = sys ? FindChild(sys, Ident(a.fleet)) : nullptr;
    CTreeItem* unit = flt ? FindChild(flt, Ident(a.unit)) : nullptr;
    if (!unit)
        return -1;
    if (!unit->data) {
        showMessageBox("Error getting addr node data in CAddrBookCtrl::IsAddrChecked()!");
        return 0;
    }
    if (unitOut)
        *unitOut = unit;
    const bool checked = unit->data->GetCheck();
    stamp(unit);
    return checked ? 1 : 0;
}

bool CAddrBook::CommitCellText(CTreeItem* node, int column, std::string text)
{
    if (!node || !node->data || column < 0 || column >= kColumnCount || column == kColIdent)
        return false;
    text = singleLine(text);
    if (text == kBugsText)
        text += kBugsSuffix;
    SetCellText(node, column, std::move(text));
    return true;
}

CAddrBook::Counts CAddrBook::CountNodes() const
{
    Counts c;
    for (const auto& sys : Roots()) {
        ++c.systems;
        for (const auto& flt : sys->children) {
            ++c.fleets;
            for (const auto& unit : flt->children) {
                ++c.units;
                if (unit->data && unit->data->GetCheck())
                    ++c.checked;
            }
        }
    }
    return c;
}

#include "addrbook/CAddrBook.h"

#include "addrbook/AddrText.h"

using velkor::AddrEntry;
using velkor::AddrField;

CAddrBook::CAddrBook(velkor::Notices& notices)
    : m_notices(notices)
    , m_clock([] { return std::time(nullptr); })
{
}

velkor::Failure CAddrBook::alert(std::string text)
{
    m_notices.alert(text);
    return velkor::fail(std::move(text));
}

CTreeItem* CAddrBook::insertNode(CTreeItem* parent, AddrEntry entry)
{
    return parent ? InsertChild(parent, std::move(entry)) : InsertRoot(std::move(entry));
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
    // The name of the deepest level asked for; the number of the first level missing.
    const uint32_t numbers[3] = {system, fleet, unit};
    const CTreeItem* node = nullptr;
    for (int level = 0; level < 3; ++level) {
        std::string ident = Ident(numbers[level]);
        node = Find(node, ident);
        if (!node)
            return ident;
        if (level == 2 || numbers[level + 1] == 0)
            break;
    }
    return node->entry.name;
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
    SetField(unit, AddrField::LastSeen, Now());
}

CTreeItem* CAddrBook::EnsureNode(CTreeItem* parent, uint32_t number, bool* created)
{
    if (created)
        *created = false;
    if (number == 0 || (parent && parent->indent > 2))
        return nullptr;
    std::string ident = Ident(number);
    if (CTreeItem* found = Find(parent, ident))
        return found;
    const char* refused = "Error inserting system in addressbook!";
    AddrEntry entry {ident, "New System", "", "", false};
    if (parent && parent->indent == 1) {
        refused = "Error inserting fleet in addressbook!";
        entry = {ident, "Fleet " + ident, "", "", false};
    } else if (parent) {
        refused = "Error inserting addr in addressbook!";
        entry = {ident, ident, "", "", true};
    }
    CTreeItem* node = insertNode(parent, std::move(entry));
    if (!node) {
        m_notices.alert(refused);
        return nullptr;
    }
    // Under an expanded parent the new row stays where it was appended until the parent
    // is next collapsed, so that rows do not jump under the user's eyes.
    if (parent && parent->collapsed)
        SortChildren(parent, false);
    if (created)
        *created = true;
    return node;
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
    if (unitOut)
        *unitOut = unit;
    const bool checked = unit->entry.checked;
    stamp(unit);
    return checked ? 1 : 0;
}

bool CAddrBook::CommitField(CTreeItem* node, AddrField field, std::string text)
{
    if (!node || field == AddrField::Ident)
        return false;
    text = singleLine(text);
    if (text == kBugsText)
        text += kBugsSuffix;
    SetField(node, field, std::move(text));
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
                if (unit->entry.checked)
                    ++c.checked;
            }
        }
    }
    return c;
}

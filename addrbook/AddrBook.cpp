#include "addrbook/AddrBook.h"

#include "addrbook/AddrText.h"

namespace velkor {

using velkor::AddrEntry;
using velkor::AddrField;

AddrBook::AddrBook(velkor::Notices& notices)
    : m_notices(notices)
    , m_clock([] { return std::time(nullptr); })
{
}

velkor::Failure AddrBook::alert(std::string text)
{
    m_notices.alert(text);
    return velkor::fail(std::move(text));
}

TreeItem* AddrBook::insertNode(TreeItem* parent, AddrEntry entry)
{
    return parent ? InsertChild(parent, std::move(entry)) : InsertRoot(std::move(entry));
}

TreeItem* AddrBook::FindAddr(const velkor_address_s& a) const
{
    if (a.system == 0)
        return nullptr;
    TreeItem* node = GetRoot(Ident(a.system));
    if (!node || a.fleet == 0)
        return node;
    node = FindChild(node, Ident(a.fleet));
    if (!node || a.unit == 0)
        return node;
    return FindChild(node, Ident(a.unit));
}

std::string AddrBook::GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const
{
    if (system == 0)
        return "UNKNOWN";
    // The name of the deepest level asked for; the number of the first level missing.
    const uint32_t numbers[3] = {system, fleet, unit};
    const TreeItem* node = nullptr;
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

std::string AddrBook::FormatLastSeen(std::time_t t)
{
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return {};
    char buf[64];
    const size_t n = std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
    return std::string(buf, n);
}

std::string AddrBook::Now() const
{
    return FormatLastSeen(m_clock ? m_clock() : std::time(nullptr));
}

void AddrBook::stamp(TreeItem* unit)
{
    // Through the tree, so that a shown row shows the new time at once.
    SetField(unit, AddrField::LastSeen, Now());
}

TreeItem* AddrBook::EnsureNode(TreeItem* parent, uint32_t number, bool* created)
{
    if (created)
        *created = false;
    if (number == 0 || (parent && parent->indent > 2))
        return nullptr;
    std::string ident = Ident(number);
    if (TreeItem* found = Find(parent, ident))
        return found;
    const char* refused = "Error inserting system in addressbook!";
    AddrEntry entry{ident, "New System", "", "", false};
    if (parent && parent->indent == 1) {
        refused = "Error inserting fleet in addressbook!";
        entry = {ident, "Fleet " + ident, "", "", false};
    } else if (parent) {
        refused = "Error inserting addr in addressbook!";
        entry = {ident, ident, "", "", true};
    }
    TreeItem* node = insertNode(parent, std::move(entry));
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

TreeItem* AddrBook::EnsureAddr(const velkor_address_s& a, bool* created)
{
    if (created)
        *created = false;
    TreeItem* node = EnsureNode(nullptr, a.system, created);
    if (node && a.fleet != 0) {
        node = EnsureNode(node, a.fleet, created);
        if (node && a.unit != 0)
            node = EnsureNode(node, a.unit, created);
    }
    return node;
}

void AddrBook::AddAddr(const velkor_address_s& a)
{
    TreeItem* node = EnsureAddr(a);
    if (node && a.fleet != 0 && a.unit != 0)
        stamp(node);
}

int AddrBook::IsAddrChecked(const velkor_address_s& a, TreeItem** unitOut)
{
    if (unitOut)
        *unitOut = nullptr;
    // A zero fleet or unit never matches: no node is ever created with Ident "0".
    TreeItem* sys = GetRoot(Ident(a.system));
    TreeItem* flt = sys ? FindChild(sys, Ident(a.fleet)) : nullptr;
    TreeItem* unit = flt ? FindChild(flt, Ident(a.unit)) : nullptr;
    if (!unit)
        return -1;
    if (unitOut)
        *unitOut = unit;
    const bool checked = unit->entry.checked;
    stamp(unit);
    return checked ? 1 : 0;
}

velkor_follow_rule_s AddrBook::RuleOf(const TreeItem* node)
{
    velkor_follow_rule_s rule;
    bool lockoutSet = false;
    bool prioritySet = false;
    for (; node; node = node->parent) {
        const AddrEntry& e = node->entry;
        if (!lockoutSet && e.lockout != AddrEntry::kInherit) {
            rule.lockout = e.lockout != 0;
            lockoutSet = true;
        }
        if (!prioritySet && e.priority != AddrEntry::kInherit) {
            rule.priority = e.priority >= 1 && e.priority <= 9 ? e.priority : 0;
            prioritySet = true;
        }
    }
    return rule;
}

velkor_follow_rule_s AddrBook::FollowRule(const velkor_address_s& a) const
{
    const TreeItem* node = GetRoot(Ident(a.system));
    if (node && a.fleet != 0) {
        if (const TreeItem* flt = FindChild(node, Ident(a.fleet))) {
            node = flt;
            if (const TreeItem* unit = a.unit != 0 ? FindChild(flt, Ident(a.unit)) : nullptr)
                node = unit;
        }
    }
    return RuleOf(node);
}

void AddrBook::SetRule(TreeItem* node, int lockout, int priority)
{
    if (!node)
        return;
    node->entry.lockout = lockout;
    node->entry.priority = priority;
    // Its descendants that take its values are drawn anew as well.
    const std::function<void(const TreeItem*)> redraw = [&](const TreeItem* n) {
        NodeChanged(n);
        for (const auto& child : n->children)
            if (child->IsShown())
                redraw(child.get());
    };
    redraw(node);
}

bool AddrBook::CommitField(TreeItem* node, AddrField field, std::string text)
{
    if (!node || field == AddrField::Ident)
        return false;
    text = singleLine(text);
    if (text == kBugsText)
        text += kBugsSuffix;
    SetField(node, field, std::move(text));
    return true;
}

AddrBook::Counts AddrBook::CountNodes() const
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

} // namespace velkor

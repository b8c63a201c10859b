// The address book: systems, their fleets and the fleets' units, held as typed records
// in a tree (GridTree) with an index of every level by ident, with the file
// addrbook.ini and the lookups and updates the call tracker makes. It has no widget of
// its own and knows no columns or images: CAddrBookCtrl shows it, and the command-line
// tools use it as it stands. What the user must be told goes to the Notices given to it.
#pragma once

#include "addrbook/GridTree.h"
#include "notify/Notices.h"
#include "notify/Result.h"
#include "protocol/commands.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

namespace velkor {

class AddrBook : public GridTree {
public:
    static constexpr const char* kBugsText = "Bugs: Impossible";
    static constexpr const char* kBugsSuffix = " (selfconfidence allright)";

    explicit AddrBook(velkor::Notices& notices);

    // Succeeds also for a missing or empty file. Fails when the file could not be read
    // or a node could not be inserted; after that the next SaveData leaves the file
    // alone, since the book in memory is only part of it.
    velkor::Status LoadData(const std::string& path);
    // Fails when nothing was written (see LoadData) or writing failed.
    velkor::Status SaveData(const std::string& path);

    TreeItem* GetRoot(const std::string& ident) const { return Find(nullptr, ident); }
    TreeItem* FindChild(const TreeItem* parent, const std::string& ident) const
    {
        return parent ? Find(parent, ident) : nullptr;
    }
    std::string GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const;
    // Creates the missing nodes of the address and stamps the unit's Last Seen.
    void AddAddr(const velkor_address_s& a);
    // -1 not in the book, 0 present and not checked, 1 checked. Stamps Last Seen of a
    // present unit. unitOut receives the unit's node when it is present.
    int IsAddrChecked(const velkor_address_s& a, TreeItem** unitOut = nullptr);

    // Whether to follow calls of an address: the rule of its deepest level in the book
    // (a unit not in the book takes its fleet's); none for a system not in the book.
    velkor_follow_rule_s FollowRule(const velkor_address_s& a) const;
    // The rule of a node: each value its own, else its fleet's, else its system's.
    static velkor_follow_rule_s RuleOf(const TreeItem* node);
    // Sets a node's own lockout and priority (AddrEntry::kInherit: none of its own).
    void SetRule(TreeItem* node, int lockout, int priority);

    // Creates the missing nodes of an address as AddAddr does, without stamping; returns
    // the deepest node of the address (nullptr for system 0 or on failure). created is
    // set when the deepest node is new.
    TreeItem* EnsureAddr(const velkor_address_s& a, bool* created = nullptr);
    // The child of parent (a system for nullptr, a fleet, a unit) with the Ident of
    // number, created as AddAddr creates it when missing. nullptr for number 0.
    TreeItem* EnsureNode(TreeItem* parent, uint32_t number, bool* created = nullptr);
    // Finds the node of an address (a system, fleet or unit); nullptr if absent.
    TreeItem* FindAddr(const velkor_address_s& a) const;

    // Stores a text the user edited; the Ident never changes.
    bool CommitField(TreeItem* node, velkor::AddrField field, std::string text);

    // The current local time as Last Seen shows it; "" if it cannot be formatted.
    std::string Now() const;
    static std::string FormatLastSeen(std::time_t t);
    // Tests and benchmarks fix the clock.
    void SetClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }

    bool LoadIncomplete() const { return m_loadIncomplete; }

    struct Counts {
        unsigned systems = 0, fleets = 0, units = 0, checked = 0;
    };
    Counts CountNodes() const;

    static std::string Ident(uint32_t n) { return std::to_string(n); }

protected:
    // The one place nodes are inserted; a derived class may refuse (return nullptr).
    virtual TreeItem* insertNode(TreeItem* parent, velkor::AddrEntry entry);

private:
    class Loader;

    void stamp(TreeItem* unit);
    velkor::Failure alert(std::string text);

    velkor::Notices& m_notices;
    std::function<std::time_t()> m_clock;
    bool m_loadIncomplete = false;
};

} // namespace velkor

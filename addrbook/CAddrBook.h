// The address book: systems, their fleets and the fleets' units, held as the nodes of
// a tree grid, with the file addrbook.ini and the lookups and updates the call tracker
// makes. It has no widget of its own: CAddrBookCtrl shows it, and the command-line
// tools use it as it stands.
#pragma once

#include "addrbook/CGridTree.h"
#include "protocol/commands.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

class CAddrBook : public CGridTree {
public:
    // Indexes of the row images.
    enum { kImageFolder = 0, kImageFleet = 1, kImageUnit = 2, kImageBin = 3, kImageSystem = 4 };
    // Columns.
    enum { kColName = 0, kColIdent = 1, kColComment = 2, kColLastSeen = 3, kColumnCount = 4 };

    static constexpr const char* kBugsText = "Bugs: Impossible";
    static constexpr const char* kBugsSuffix = " (selfconfidence allright)";

    CAddrBook();

    // 1 on success (also for a missing or empty file); 0 when the file could not be
    // read or a node could not be inserted. After a 0 the next SaveData leaves the
    // file alone, since the book in memory is only part of it.
    int LoadData(const std::string& path);
    // 1 on success; 0 when nothing was written (see LoadData) or writing failed.
    int SaveData(const std::string& path);

    CTreeItem* GetRoot(const std::string& ident) const;
    CTreeItem* FindChild(const CTreeItem* parent, const std::string& ident) const;
    std::string GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const;
    // Creates the missing nodes of the address and stamps the unit's Last Seen.
    void AddAddr(const velkor_address_s& a);
    // -1 not in the book, 0 present and not checked, 1 checked. Stamps Last Seen of a
    // present unit. unitOut receives the unit's node when it is present.
    int IsAddrChecked(const velkor_address_s& a, CTreeItem** unitOut = nullptr);

    // Creates the missing nodes of an address as AddAddr does, without stamping; returns
    // the deepest node of the address (nullptr for system 0 or on failure). created is
    // set when the deepest node is new.
    CTreeItem* EnsureAddr(const velkor_address_s& a, bool* created = nullptr);
    // The child of parent (a system for nullptr, a fleet, a unit) with the Ident of
    // number, created as AddAddr creates it when missing. nullptr for number 0.
    CTreeItem* EnsureNode(CTreeItem* parent, uint32_t number, bool* created = nullptr);
    // Finds the node of an address (a system, fleet or unit); nullptr if absent.
    CTreeItem* FindAddr(const velkor_address_s& a) const;

    // Stores an edited cell text; the Ident never changes.
    bool CommitCellText(CTreeItem* node, int column, std::string text);

    // The current local time as Last Seen shows it; "" if it cannot be formatted.
    std::string Now() const;
    static std::string FormatLastSeen(std::time_t t);
    // Tests and benchmarks fix the clock.
    void SetClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }
    // Where operational notes (not message boxes) go; the dialog sends them to its
    // log list. Standard error by default.
    void SetLogFunction(std::function<void(const std::string&)> fn) { m_log = std::move(fn); }

    bool LoadIncomplete() const { return m_loadIncomplete; }
    // Why the last SaveData returned 0 (UTF-8); empty after a successful save.
    const std::string& LastSaveError() const { return m_lastSaveError; }

    struct Counts {
        unsigned systems = 0, fleets = 0, units = 0, checked = 0;
    };
    Counts CountNodes() const;

    static std::string Ident(uint32_t n) { return std::to_string(n); }
    static std::unique_ptr<CItemInfo> MakeNodeData(int image, std::string name, std::string ident,
                                                   std::string comment, bool checked);

protected:
    // The one place nodes are inserted; a derived class may refuse (return nullptr).
    virtual CTreeItem* insertNode(CTreeItem* parent, std::unique_ptr<CItemInfo> data);

private:
    void stamp(CTreeItem* unit);
    void log(const std::string& text) const;

    std::function<std::time_t()> m_clock;
    std::function<void(const std::string&)> m_log;
    bool m_loadIncomplete = false;
    std::string m_lastSaveError;
};

// An owner for the command window in tests: settings in a field, the log list in
// memory, the real address book model and the End Call button as a flag.
#pragma once

#include "addrbook/AddrBook.h"
#include "cmdwnd/CmdWndOwner.h"
#include "fixtures/CollectingNotices.h"
#include "fixtures/MemoryLogList.h"

#include <string>
#include <vector>

using namespace velkor;

class TestOwner : public CmdWndOwner {
public:
    TestOwner()
    {
        book.SetClock([] { return std::time_t(1700000000); });
    }

    velkor_settings_s currentSettings() const override { return settings; }
    LogListView& logList() override { return log; }
    void AddAddr(const velkor_address_s& a) override { book.AddAddr(a); }
    std::string GetAddrName(uint32_t s, uint32_t f, uint32_t u) const override { return book.GetAddrName(s, f, u); }
    int IsAddrChecked(const velkor_address_s& a, int select) override
    {
        selects.push_back(select);
        return book.IsAddrChecked(a);
    }
    velkor_follow_rule_s FollowRule(const velkor_address_s& a) const override { return book.FollowRule(a); }
    void enableEndCall(bool enable) override { endCallEnabled = enable; }
    velkor::Notices& notices() override { return told; }

    // Adds the unit with a name, checked or not.
    void addUnit(const velkor_address_s& a, const std::string& name, bool checked)
    {
        TreeItem* node = book.EnsureAddr(a);
        node->entry.name = name;
        node->entry.checked = checked;
    }
    void nameNode(const velkor_address_s& a, const std::string& name) { book.EnsureAddr(a)->entry.name = name; }

    velkor_settings_s settings;
    MemoryLogList log;
    CollectingNotices told;
    AddrBook book{told};
    bool endCallEnabled = false;
    std::vector<int> selects;
};

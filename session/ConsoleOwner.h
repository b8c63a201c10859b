// The command window's owner without a display: the log list is standard output (one
// UTF-8 line per log line, flushed at once), the address book is the model without
// its grid, and there is no End Call button to enable.
#pragma once

#include "addrbook/AddrBook.h"
#include "cmdwnd/CmdWndOwner.h"

#include <cstdio>
#include <functional>
#include <string>

namespace velkor {

// The log list as a stream. It remembers how many lines a list box would hold, so the
// command window's 1001-line rule sees what it would see on screen.
class ConsoleLogList : public LogListView {
public:
    explicit ConsoleLogList(std::FILE* out)
        : m_out(out)
    {
    }
    // Runs once, at the first line that cannot be written (a reader that went away).
    void setOutputLost(std::function<void()> fn) { m_outputLost = std::move(fn); }
    // Told each line (UTF-8) once it has been written.
    void setLineListener(std::function<void(const std::string&)> fn) { m_lineListener = std::move(fn); }
    int count() const override { return m_count; }
    void removeFirst() override
    {
        if (m_count > 0)
            --m_count;
    }
    int append(const LogText& line) override;
    void showLine(int) override { }

private:
    std::FILE* m_out;
    int m_count = 0;
    std::function<void()> m_outputLost;
    std::function<void(const std::string&)> m_lineListener;
};

class ConsoleOwner : public CmdWndOwner {
public:
    // notices: where alerts and notes go (standard error, in the tracker); the book's
    // notes go to the log.
    ConsoleOwner(std::FILE* out, const velkor_settings_s& settings, velkor::Notices& notices);

    velkor_settings_s currentSettings() const override { return m_settings; }
    LogListView& logList() override { return m_log; }
    void AddAddr(const velkor_address_s& a) override { m_book.AddAddr(a); }
    std::string GetAddrName(uint32_t s, uint32_t f, uint32_t u) const override { return m_book.GetAddrName(s, f, u); }
    int IsAddrChecked(const velkor_address_s& a, int) override { return m_book.IsAddrChecked(a); }
    velkor_follow_rule_s FollowRule(const velkor_address_s& a) const override { return m_book.FollowRule(a); }
    void enableEndCall(bool) override { }
    velkor::Notices& notices() override { return m_notices; }

    AddrBook& book() { return m_book; }
    ConsoleLogList& console() { return m_log; }

private:
    velkor_settings_s m_settings;
    ConsoleLogList m_log;
    LogListNotices m_bookNotices;
    AddrBook m_book;
    velkor::Notices& m_notices;
};

} // namespace velkor

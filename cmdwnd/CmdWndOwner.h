// What the command window needs of the window that owns it: the settings as last
// applied, the log list, the address book, the End Call button and where to tell the
// user something. The main dialog is
// the owner in the dialog program; the headless tracker has a console owner; tests
// have their own. The command window never owns its owner and reads the settings
// afresh at every command, so a change takes effect with the next one.
//
// Everything here is called on the thread that runs the command window.
#pragma once

#include "cmdwnd/CmdDispatch.h"
#include "profile/VelkorConfig.h"

#include <cstdint>
#include <string>

namespace velkor {

class CmdWndOwner {
public:
    virtual ~CmdWndOwner() = default;

    // mute, follow_calls, scan_on_clear, auto_add, backlight and return_to_cc are read
    // from it; the other fields are not used by the command window.
    virtual velkor_settings_s currentSettings() const = 0;

    // The log list. Decoder lines go through addLogLine(); the command window's own
    // lines (call duration, missing parameters) are appended to it directly.
    virtual LogListView& logList() = 0;

    // The address book. Names are UTF-8.
    virtual void AddAddr(const velkor_address_s& address) = 0;
    virtual std::string GetAddrName(uint32_t system, uint32_t fleet, uint32_t unit) const = 0;
    // -1 not in the book, 0 present and not checked, 1 checked; with select, a checked
    // unit is also selected and brought into view.
    virtual int IsAddrChecked(const velkor_address_s& address, int select) = 0;
    // Lockout and priority of an address as the book gives them; none without a book.
    virtual velkor_follow_rule_s FollowRule(const velkor_address_s&) const { return {}; }

    // The End Call button: enabled while a call is tracked.
    virtual void enableEndCall(bool enable) = 0;

    // Where the command window and what it holds tell the user something: alerts (a
    // message box in the dialog), notes (a log line). Thread-safe.
    virtual velkor::Notices& notices() = 0;
};

} // namespace velkor

// The command window's rules that do not depend on any toolkit: validation and
// dispatch of the seven commands, and the bounded log list. The Qt command window
// and the headless tools implement CmdHandler and call dispatchCommand() for every
// command, one at a time, in posting order, on one thread.
#pragma once

#include "notify/Notices.h"
#include "protocol/commands.h"

namespace velkor {

// The log list as the command window sees it (a list box on screen).
class LogListView {
public:
    virtual ~LogListView() = default;
    virtual int count() const = 0;
    virtual void removeFirst() = 0;
    // Appends a line; returns its index, or a negative value when the list refused it.
    virtual int append(const LogText& line) = 0;
    // Makes the line the caret line and scrolls it into view.
    virtual void showLine(int index) = 0;
};

// Notices whose alerts go on to other notices and whose notes become lines of a log
// list at once, in order with the lines around them (the address book's notes).
class LogListNotices final : public velkor::Notices {
public:
    LogListNotices(velkor::Notices& alerts, LogListView& log)
        : m_alerts(alerts)
        , m_log(log)
    {
    }
    void alert(const std::string& text) override { m_alerts.alert(text); }
    void note(const std::string& line) override { m_log.append(line); }

private:
    velkor::Notices& m_alerts;
    LogListView& m_log;
};

// Lines added through CMDWND_ADD_LOGSTR keep the list at this many lines.
constexpr int kLogListMaxLines = 1001;

// Adds a decoder line: drops the oldest line when the list holds 1001 or more, appends,
// and follows the newest line. A list that refuses the line is an alert.
void addLogLine(LogListView& list, const LogText& line, velkor::Notices& notices);

class CmdHandler {
public:
    virtual ~CmdHandler() = default;
    virtual LogListView& logList() = 0;
    // Where a command that cannot be handled is told.
    virtual velkor::Notices& notices() = 0;
    virtual bool muteEnabled() const = 0;
    virtual void setMuted(bool muted) = 0;
    virtual void reportCall(const velkor_call_s& call) = 0;
    virtual void clearCall(const velkor_call_s& call) = 0;
    virtual void endCall() = 0;
    virtual void reportSystem(const velkor_address_s& address) = 0;
};

// Handles one posted command. The payload is consumed whatever happens. A payload of
// the wrong kind is treated like a missing one.
void dispatchCommand(CmdHandler& handler, uint32_t code, CmdPayload payload);

} // namespace velkor

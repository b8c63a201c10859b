// The web page's state from the command window: the status line (what the decoders
// heard in the last minute, the holds) and the followed call (its parties with their
// names, channel, frequency and running time), put into the EventBacklog twice a
// second; readers are woken only when it changed. Runs on the command window's thread.
#pragma once

#include "events/EventBacklog.h"
#include "protocol/commands.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>
#include <string>

namespace velkor {

class CCmdWnd;
class CmdWndOwner;

class WebFeed : public QObject {
public:
    WebFeed(CmdWndOwner& owner, CCmdWnd& cmdWnd, EventBacklog& backlog);

    // The state as it is now.
    void update();
    std::string stateJson();

private:
    CmdWndOwner& m_owner;
    CCmdWnd& m_cmdWnd;
    EventBacklog& m_backlog;
    QTimer m_timer;
    // The call followed when last looked, and since when.
    std::optional<velkor_call_s> m_followed;
    std::chrono::steady_clock::time_point m_since{};
};

} // namespace velkor

// What the decoders are hearing, for the status line under the log list: for each
// protocol the lines it decoded in the last minute and the time of its last one, and
// whether a control channel is heard now (a decoder has asked for the Line-In to be
// muted and not yet let go).
//
// Fed on the command window's thread as the decoders' events arrive; the text is
// asked for as often as the status line is redrawn.
#pragma once

#include "protocol/commands.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

namespace velkor {

class DecodeActivity {
public:
    using Clock = std::chrono::steady_clock;

    // One event of a decoder. now: when it arrived; when: its own time (the capture
    // time of its block), shown as the time of the last line. Events of no decoder
    // (the program's own lines) are not counted.
    void note(EventProtocol protocol, uint32_t code, Clock::time_point now, EventClock::time_point when);

    // "Last minute: MPT 1327 12 (last 14:03:22), NMT-450 0, Motorola 0 | Control
    // channel: heard (MPT 1327)", the times local. A decoder that never decoded a line
    // shows its count only.
    std::string text(Clock::time_point now);

    static constexpr Clock::duration kWindow = std::chrono::minutes(1);

private:
    struct protocol_state_s {
        std::deque<Clock::time_point> recent; // arrivals within the window, oldest first
        EventClock::time_point last{};        // the last line's own time; epoch: none yet
        bool heard = false;                   // muted by this decoder and not let go
    };
    static size_t index(EventProtocol protocol);
    std::array<protocol_state_s, 3> m_protocols;
};

} // namespace velkor

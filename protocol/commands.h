// The command protocol between the decoders (audio thread) and the command window
// (GUI thread). A decoder builds a payload, posts it with a command code and never
// touches it again: the payload is moved into the sink and belongs to the receiver.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>

namespace velkor {

enum : uint32_t {
    CMDWND_ADD_LOGSTR = 0xF000,
    CMDWND_REPORT_CALL = 0xF001,
    CMDWND_CLEAR_CALL = 0xF002,
    CMDWND_MUTE = 0xF003,
    CMDWND_UNMUTE = 0xF004,
    CMDWND_REPORT_SYSTEM = 0xF005,
    CMDWND_END_CALL = 0xF006,
};

// A system, a fleet (unit 0) or a whole system (fleet 0 and unit 0).
struct velkor_address_s {
    uint32_t system = 0;
    uint32_t fleet = 0;
    uint32_t unit = 0;
    friend bool operator==(const velkor_address_s&, const velkor_address_s&) = default;
};

struct velkor_call_s {
    uint32_t type = 0;
    velkor_address_s target;
    velkor_address_s origin;
    uint32_t control_channel = 0;
    uint32_t channel = 0;
    friend bool operator==(const velkor_call_s&, const velkor_call_s&) = default;
};

// What the address book says about following an address, each value the address's own
// or else its fleet's, else its system's: locked out (never followed), and the
// priority, 1 the highest to 9 the lowest, 0 none (below 9).
struct velkor_follow_rule_s {
    bool lockout = false;
    int priority = 0;
    friend bool operator==(const velkor_follow_rule_s&, const velkor_follow_rule_s&) = default;
};

// A log line: 8-bit text in the Windows-1252 code page, as the decoders format it.
// It is converted to UTF-8 only where it is shown or printed.
using LogText = std::string;

// No payload (std::monostate) is what the original protocol called a null pointer.
using CmdPayload = std::variant<std::monostate, LogText, velkor_address_s, velkor_call_s>;

// Name of a command code, e.g. "ADD_LOGSTR"; nullptr for a code outside the protocol.
inline const char* commandName(uint32_t code)
{
    switch (code) {
    case CMDWND_ADD_LOGSTR:
        return "ADD_LOGSTR";
    case CMDWND_REPORT_CALL:
        return "REPORT_CALL";
    case CMDWND_CLEAR_CALL:
        return "CLEAR_CALL";
    case CMDWND_MUTE:
        return "MUTE";
    case CMDWND_UNMUTE:
        return "UNMUTE";
    case CMDWND_REPORT_SYSTEM:
        return "REPORT_SYSTEM";
    case CMDWND_END_CALL:
        return "END_CALL";
    default:
        return nullptr;
    }
}

// Which decoder made an event. None: the program itself (the command window's own
// lines and clears, the bank's audio notes).
enum class EventProtocol : uint8_t { None, Mpt1327, Nmt450, Motorola };

// Name of a protocol for other programs ("mpt1327", "nmt450", "motorola"); nullptr for
// None.
inline const char* protocolName(EventProtocol protocol)
{
    switch (protocol) {
    case EventProtocol::Mpt1327:
        return "mpt1327";
    case EventProtocol::Nmt450:
        return "nmt450";
    case EventProtocol::Motorola:
        return "motorola";
    default:
        return nullptr;
    }
}

using EventClock = std::chrono::system_clock;

// Where and when an event arose: the decoder, and the capture time of the audio block
// that held it (for a file: its start time plus the block's position in it). A time
// of zero (the epoch) means the poster did not know it.
struct velkor_origin_s {
    EventProtocol protocol = EventProtocol::None;
    EventClock::time_point time{};
    bool timed() const { return time != EventClock::time_point{}; }
};

// Where decoders post their events. post() may be called from any thread; an
// implementation hands the command over to its consumer in posting order.
//
// The decoder bank posts through postFrom(), which adds the event's origin; a sink
// that has no use for it keeps the default, which drops the origin and posts.
class CmdSink {
public:
    virtual ~CmdSink() = default;
    virtual void post(uint32_t code, CmdPayload payload) = 0;
    virtual void postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload)
    {
        (void)origin;
        post(code, std::move(payload));
    }
};

} // namespace velkor

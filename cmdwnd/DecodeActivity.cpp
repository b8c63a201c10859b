#include "cmdwnd/DecodeActivity.h"

#include <ctime>

namespace velkor {

namespace {

constexpr std::array<EventProtocol, 3> kShown = {EventProtocol::Mpt1327, EventProtocol::Nmt450,
                                                 EventProtocol::Motorola};

const char* shownName(EventProtocol protocol)
{
    switch (protocol) {
    case EventProtocol::Mpt1327:
        return "MPT 1327";
    case EventProtocol::Nmt450:
        return "NMT-450";
    default:
        return "Motorola";
    }
}

std::string localClock(EventClock::time_point when)
{
    const std::time_t t = EventClock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

} // namespace

size_t DecodeActivity::index(EventProtocol protocol)
{
    switch (protocol) {
    case EventProtocol::Mpt1327:
        return 0;
    case EventProtocol::Nmt450:
        return 1;
    default:
        return 2;
    }
}

void DecodeActivity::note(EventProtocol protocol, uint32_t code, Clock::time_point now, EventClock::time_point when)
{
    if (protocol == EventProtocol::None)
        return;
    protocol_state_s& state = m_protocols[index(protocol)];
    switch (code) {
    case CMDWND_ADD_LOGSTR:
        state.recent.push_back(now);
        state.last = when == EventClock::time_point{} ? EventClock::now() : when;
        break;
    case CMDWND_MUTE:
        state.heard = true;
        break;
    case CMDWND_UNMUTE:
        state.heard = false;
        break;
    default:
        break;
    }
    // Kept to the window as it goes, so that a busy channel never piles up arrivals
    // between two redraws.
    while (!state.recent.empty() && now - state.recent.front() >= kWindow)
        state.recent.pop_front();
}

std::string DecodeActivity::text(Clock::time_point now)
{
    std::string out = "Last minute: ";
    std::string heard;
    for (size_t i = 0; i < kShown.size(); ++i) {
        protocol_state_s& state = m_protocols[index(kShown[i])];
        while (!state.recent.empty() && now - state.recent.front() >= kWindow)
            state.recent.pop_front();
        if (i > 0)
            out += ", ";
        out += shownName(kShown[i]);
        out += ' ' + std::to_string(state.recent.size());
        if (state.last != EventClock::time_point{})
            out += " (last " + localClock(state.last) + ')';
        if (state.heard)
            heard += std::string(heard.empty() ? "" : ", ") + shownName(kShown[i]);
    }
    out += heard.empty() ? " | Control channel: none heard" : " | Control channel: heard (" + heard + ')';
    return out;
}

} // namespace velkor

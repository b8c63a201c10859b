#include "signal/RecordingSink.h"

#include <algorithm>

namespace testsignal {

namespace {
std::string address(const velkor_address_s& a)
{
    return std::to_string(a.system) + "/" + std::to_string(a.fleet) + "/" + std::to_string(a.unit);
}
} // namespace

std::string describe(const Event& event)
{
    const char* name = commandName(event.code);
    std::string out = name ? name : "UNKNOWN";
    if (const auto* text = std::get_if<LogText>(&event.payload)) {
        out += " " + *text;
    } else if (const auto* a = std::get_if<velkor_address_s>(&event.payload)) {
        out += " " + address(*a);
    } else if (const auto* c = std::get_if<velkor_call_s>(&event.payload)) {
        out += " t" + std::to_string(c->type) + " " + address(c->target) + " <- " + address(c->origin) + " cc" +
            std::to_string(c->control_channel) + " ch" + std::to_string(c->channel);
    }
    return out;
}

void RecordingSink::post(uint32_t code, CmdPayload payload)
{
    std::lock_guard lock(m_mutex);
    m_events.push_back({code, std::move(payload)});
}

void RecordingSink::postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload)
{
    std::lock_guard lock(m_mutex);
    m_events.push_back({code, std::move(payload), origin});
}

std::vector<Event> RecordingSink::events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

std::vector<std::string> RecordingSink::described() const
{
    std::vector<std::string> out;
    for (const auto& e : events())
        out.push_back(describe(e));
    return out;
}

std::vector<std::string> RecordingSink::lines() const
{
    std::vector<std::string> out;
    for (const auto& e : events())
        if (const auto* text = std::get_if<LogText>(&e.payload))
            out.push_back(*text);
    return out;
}

std::vector<std::string> RecordingSink::messages() const
{
    std::vector<std::string> out;
    for (const auto& e : events())
        if (e.code != CMDWND_MUTE && e.code != CMDWND_UNMUTE)
            out.push_back(describe(e));
    return out;
}

size_t RecordingSink::count(uint32_t code) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<size_t>(
        std::count_if(m_events.begin(), m_events.end(), [code](const Event& e) { return e.code == code; }));
}

void RecordingSink::clear()
{
    std::lock_guard lock(m_mutex);
    m_events.clear();
}

} // namespace testsignal

#include "events/EventBacklog.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace velkor {

EventBacklog::EventBacklog(size_t events, size_t calls)
    : m_capacity(std::max<size_t>(events, 1))
    , m_callCapacity(std::max<size_t>(calls, 1))
{
}

uint64_t EventBacklog::add(const std::string& json)
{
    uint64_t seq = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        seq = ++m_seq;
        // The object's closing brace makes room for the number.
        const size_t close = json.rfind('}');
        std::string text = close == std::string::npos ? json : json.substr(0, close);
        text += (text.size() > 1 ? ",\"seq\":" : "\"seq\":") + std::to_string(seq) + "}";
        m_events.emplace_back(seq, std::move(text));
        if (m_events.size() > m_capacity)
            m_events.pop_front();
    }
    changed();
    return seq;
}

uint64_t EventBacklog::addLine(const std::string& utf8)
{
    // The text as the JSON library writes a string (its escapes, and its replacement
    // of what is not UTF-8); the object around it needs no library.
    const std::string text = nlohmann::json(utf8).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return add(R"({"cmd":"LOG_LINE","text":)" + text + "}");
}

void EventBacklog::addCall(std::string json)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_front(std::move(json));
        if (m_calls.size() > m_callCapacity)
            m_calls.pop_back();
        ++m_callCount;
    }
    changed();
}

void EventBacklog::setState(std::string json)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (json == m_state)
            return;
        m_state = std::move(json);
        ++m_stateVersion;
    }
    changed();
}

std::vector<EventBacklog::Event> EventBacklog::after(uint64_t seq, size_t max) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Event> events;
    if (m_events.empty() || seq >= m_events.back().first)
        return events;
    // Numbers are consecutive: the first wanted is found by arithmetic.
    const uint64_t first = m_events.front().first;
    size_t i = seq < first ? 0 : static_cast<size_t>(seq - first + 1);
    for (; i < m_events.size() && events.size() < max; ++i)
        events.push_back(m_events[i]);
    return events;
}

uint64_t EventBacklog::lastSeq() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_seq;
}

std::vector<std::string> EventBacklog::calls() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return {m_calls.begin(), m_calls.end()};
}

std::pair<std::string, uint64_t> EventBacklog::state() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return {m_state, m_stateVersion};
}

uint64_t EventBacklog::callCount() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_callCount;
}

void EventBacklog::setListener(std::function<void()> listener)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = listener ? std::make_shared<const std::function<void()>>(std::move(listener)) : nullptr;
}

void EventBacklog::changed()
{
    std::shared_ptr<const std::function<void()>> listener;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        listener = m_listener;
    }
    if (listener)
        (*listener)();
}

} // namespace velkor

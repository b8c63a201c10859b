// The events of a run as the web page reads them: the last events, each with its
// sequence number ("seq", rising by one per event of the run), the recent calls and
// the page's state (status line, followed call). Filled on the command window's
// thread, read by the web server's thread; every call takes the one lock briefly and
// never waits for a reader.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace velkor {

class EventBacklog {
public:
    static constexpr size_t kEvents = 10000;
    static constexpr size_t kCalls = 200;

    explicit EventBacklog(size_t events = kEvents, size_t calls = kCalls);

    // An event's JSON object (one line); it is kept with "seq" added. Its number.
    uint64_t add(const std::string& json);
    // A log line (UTF-8) as the program's own event: {"cmd":"LOG_LINE","text":...}.
    uint64_t addLine(const std::string& utf8);
    // A finished call: its recording's JSON object.
    void addCall(std::string json);
    // The page's state as one JSON object; readers are woken only when it changes.
    void setState(std::string json);

    using Event = std::pair<uint64_t, std::string>;
    // Up to max events numbered above seq, oldest first (those no longer kept are
    // skipped).
    std::vector<Event> after(uint64_t seq, size_t max) const;
    uint64_t lastSeq() const;
    // How many events are kept.
    size_t capacity() const { return m_capacity; }
    // The recent calls, newest first.
    std::vector<std::string> calls() const;
    // The state and how often it has changed.
    std::pair<std::string, uint64_t> state() const;
    // How many calls were ever added (the page reloads its list when it changes).
    uint64_t callCount() const;

    // Told after every change, on the changing thread, without the lock held; it must
    // not block.
    void setListener(std::function<void()> listener);

private:
    void changed();

    const size_t m_capacity;
    const size_t m_callCapacity;
    mutable std::mutex m_mutex;
    std::deque<Event> m_events;
    uint64_t m_seq = 0;
    std::deque<std::string> m_calls;
    uint64_t m_callCount = 0;
    std::string m_state = "{}";
    uint64_t m_stateVersion = 0;
    // Shared, so that telling it costs no copy of it.
    std::shared_ptr<const std::function<void()>> m_listener;
};

} // namespace velkor

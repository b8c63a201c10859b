// A command sink that keeps every posted event, for exact comparisons in tests.
#pragma once

#include "protocol/commands.h"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace velkor;

namespace testsignal {

struct Event {
    uint32_t code;
    CmdPayload payload;
    velkor_origin_s origin{};                            // as the bank stamped it; none for a plain post
    std::thread::id thread = std::this_thread::get_id(); // that posted it
};

// One line per event, e.g. "ADD_LOGSTR CCSC | ...", "REPORT_SYSTEM 1/2/3",
// "REPORT_CALL t0 1/2/3 <- 1/2/4 cc5 ch17", "MUTE".
std::string describe(const Event& event);

class RecordingSink : public CmdSink {
public:
    void post(uint32_t code, CmdPayload payload) override;
    void postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload) override;

    std::vector<Event> events() const;
    std::vector<std::string> described() const;
    // The log lines only, in order.
    std::vector<std::string> lines() const;
    // Everything but MUTE and UNMUTE.
    std::vector<std::string> messages() const;
    size_t count(uint32_t code) const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
};

} // namespace testsignal

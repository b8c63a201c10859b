// A command sink for the headless tools: prints every posted event at once, one line
// each, flushed, as text (UTF-8) or as a JSON object (events/EventJson.h). An event
// posted without its origin is stamped with the time it is printed.
//
// A second sink (the MQTT publisher) may listen to the JSON of every event, printed or
// not; it is called on the posting thread and must not block.
#pragma once

#include "protocol/commands.h"

#include <cstdio>
#include <functional>
#include <string>

namespace velkor {

class EventPrinter : public CmdSink {
public:
    EventPrinter(std::FILE* out, bool json)
        : m_out(out)
        , m_json(json)
    {
    }
    void post(uint32_t code, CmdPayload payload) override;
    void postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload) override;

    using JsonListener = std::function<void(uint32_t code, const std::string& json)>;
    void setJsonListener(JsonListener listener) { m_listener = std::move(listener); }

private:
    std::FILE* m_out;
    bool m_json;
    JsonListener m_listener;
};

} // namespace velkor

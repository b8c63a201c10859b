#include "events/EventPrinter.h"

#include "events/EventJson.h"
#include "text/Cp1252.h"

namespace velkor {

void EventPrinter::post(uint32_t code, CmdPayload payload)
{
    postFrom({EventProtocol::None, EventClock::now()}, code, std::move(payload));
}

void EventPrinter::postFrom(const velkor_origin_s& origin, uint32_t code, CmdPayload payload)
{
    std::string json;
    if (m_json || m_listener)
        json = eventJson(origin, code, payload);
    if (m_listener)
        m_listener(code, json);
    std::string out;
    if (!m_json) {
        // Only log lines are text; the other events are for the command window.
        if (code != CMDWND_ADD_LOGSTR)
            return;
        const auto* text = std::get_if<LogText>(&payload);
        if (!text)
            return;
        out = cp1252ToUtf8(*text);
    } else {
        out = std::move(json);
    }
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), m_out);
    std::fflush(m_out);
}

} // namespace velkor

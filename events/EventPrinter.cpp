#include "events/EventPrinter.h"

#include "text/Cp1252.h"

#include <nlohmann/json.hpp>

namespace {
nlohmann::json addressJson(const velkor_address_s& a)
{
    return {{"system", a.system}, {"fleet", a.fleet}, {"unit", a.unit}};
}
} // namespace

void EventPrinter::post(uint32_t code, CmdPayload payload)
{
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
        const char* name = commandName(code);
        nlohmann::ordered_json event;
        event["cmd"] = name ? name : "UNKNOWN";
        if (const auto* text = std::get_if<LogText>(&payload)) {
            event["text"] = cp1252ToUtf8(*text);
        } else if (const auto* call = std::get_if<velkor_call_s>(&payload)) {
            event["type"] = call->type;
            event["target"] = addressJson(call->target);
            event["origin"] = addressJson(call->origin);
            event["control_channel"] = call->control_channel;
            event["channel"] = call->channel;
        } else if (const auto* address = std::get_if<velkor_address_s>(&payload)) {
            event["system"] = address->system;
            event["fleet"] = address->fleet;
            event["unit"] = address->unit;
        }
        out = event.dump();
    }
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), m_out);
    std::fflush(m_out);
}

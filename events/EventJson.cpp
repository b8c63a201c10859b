#include "events/EventJson.h"

#include "events/EventTime.h"
#include "text/Cp1252.h"

#include <nlohmann/json.hpp>

#include <cctype>

namespace velkor {

namespace {

nlohmann::ordered_json addressJson(const velkor_address_s& a)
{
    return {{"system", a.system}, {"fleet", a.fleet}, {"unit", a.unit}};
}

nlohmann::ordered_json namesJson(const velkor_address_names_s& n)
{
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    if (!n.system.empty())
        out["system"] = n.system;
    if (!n.fleet.empty())
        out["fleet"] = n.fleet;
    if (!n.unit.empty())
        out["unit"] = n.unit;
    return out;
}

} // namespace

velkor_address_names_s addressNames(const velkor_address_s& a, const AddressNameLookup& lookup)
{
    velkor_address_names_s names;
    if (!lookup || a.system == 0)
        return names;
    names.system = lookup(a.system, 0, 0);
    if (a.fleet != 0) {
        names.fleet = lookup(a.system, a.fleet, 0);
        if (a.unit != 0)
            names.unit = lookup(a.system, a.fleet, a.unit);
    }
    return names;
}

std::optional<velkor_event_names_s> eventNames(uint32_t code, const CmdPayload& payload,
                                               const AddressNameLookup& lookup)
{
    velkor_event_names_s names;
    if (const auto* call = std::get_if<velkor_call_s>(&payload)) {
        names.target = addressNames(call->target, lookup);
        names.origin = addressNames(call->origin, lookup);
        return names;
    }
    if (const auto* address = std::get_if<velkor_address_s>(&payload)) {
        names.address = addressNames(*address, lookup);
        return names;
    }
    return std::nullopt;
}

std::string eventJson(const velkor_origin_s& origin, uint32_t code, const CmdPayload& payload,
                      const velkor_event_names_s* names)
{
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
    if (origin.timed())
        event["time"] = formatEventTime(origin.time);
    else
        event["time"] = nullptr;
    if (const char* protocol = protocolName(origin.protocol))
        event["protocol"] = protocol;
    else
        event["protocol"] = nullptr;
    if (names) {
        if (std::holds_alternative<velkor_call_s>(payload))
            event["names"] = {{"target", namesJson(names->target)}, {"origin", namesJson(names->origin)}};
        else if (std::holds_alternative<velkor_address_s>(payload))
            event["names"] = namesJson(names->address);
    }
    // A name from a hand-edited book that is not UTF-8 must not cost the event.
    return event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string eventTopic(const std::string& base, uint32_t code)
{
    const char* name = commandName(code);
    std::string topic = base + "/";
    for (const char* c = name ? name : "unknown"; *c; ++c)
        topic += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return topic;
}

} // namespace velkor

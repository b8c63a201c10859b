// One event as a JSON object, the form every output shares (velkor-decode --events,
// MQTT, the daily files):
//
//   {"cmd":"REPORT_CALL","type":0,"target":{...},"origin":{...},"control_channel":1,
//    "channel":17,"time":"2024-05-01T12:34:56.789Z","protocol":"mpt1327",
//    "names":{"target":{"system":"Site","fleet":"Fleet 1","unit":"Dispatch"},"origin":{...}}}
//
// The command and its payload's fields come first, as they always have; then the time,
// the protocol (null for the program's own events) and, where an address book is at
// hand, the names of the addresses the event carries.
#pragma once

#include "protocol/commands.h"

#include <functional>
#include <optional>
#include <string>

namespace velkor {

// The names of an address's levels; a level the address does not have stays empty.
struct velkor_address_names_s {
    std::string system;
    std::string fleet;
    std::string unit;
};

// Names of the addresses in an event: a system report's address, or a call's target
// and origin.
struct velkor_event_names_s {
    velkor_address_names_s address;
    velkor_address_names_s target;
    velkor_address_names_s origin;
};

// The address book's names (UTF-8) of the levels an address has.
using AddressNameLookup = std::function<std::string(uint32_t system, uint32_t fleet, uint32_t unit)>;
velkor_address_names_s addressNames(const velkor_address_s& address, const AddressNameLookup& lookup);
// The names of the addresses an event carries; nullopt for an event without addresses.
std::optional<velkor_event_names_s> eventNames(uint32_t code, const CmdPayload& payload,
                                               const AddressNameLookup& lookup);

// The object as one line of text (no newline). An untimed origin gives "time":null.
std::string eventJson(const velkor_origin_s& origin, uint32_t code, const CmdPayload& payload,
                      const velkor_event_names_s* names = nullptr);

// The MQTT topic of a command under base: "velkor/report_call".
std::string eventTopic(const std::string& base, uint32_t code);

} // namespace velkor

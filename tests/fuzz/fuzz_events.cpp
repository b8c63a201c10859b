// Any events, as the decoders and the tracker post them, through the writers other
// programs read: each event's JSON object (velkor-decode --events, the MQTT messages
// and the daily events file), its MQTT topic under a base topic and broker address
// given as text, and the daily files, where the calls put together from the grants
// and clear-downs become rows of the calls CSV.
//
// The input is a run of events: a command (one of the seven), a payload of any kind
// with any values, an origin (protocol, time) and names of any bytes; the first
// texts are the broker address and base topic. Every JSON line must parse, say its
// command, time and protocol, and go to the events file whole and unchanged; every
// calls row must parse as CSV with the header's columns and keep the system's name.
// Covers events/EventJson, EventTime, DailyLog and CallLog, and MqttPublisher's
// address and topic checks.
#include "FuzzUtil.h"
#include "addrbook/AddrBookCsv.h"
#include "events/DailyLog.h"
#include "events/EventJson.h"
#include "events/EventTime.h"
#include "events/MqttPublisher.h"
#include "notify/Notices.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

using namespace velkor;

namespace {

constexpr uint32_t kCodes[] = {CMDWND_ADD_LOGSTR, CMDWND_REPORT_CALL,   CMDWND_CLEAR_CALL, CMDWND_MUTE,
                               CMDWND_UNMUTE,     CMDWND_REPORT_SYSTEM, CMDWND_END_CALL};

velkor_address_s address(fuzzutil::Input& in)
{
    return {in.u32(), in.u32(), in.u32()};
}

CmdPayload payload(fuzzutil::Input& in)
{
    switch (in.byte() % 4) {
    case 0:
        return std::monostate{};
    case 1:
        return in.text();
    case 2:
        return address(in);
    default: {
        velkor_call_s call;
        call.type = in.u32();
        call.target = address(in);
        call.origin = address(in);
        call.control_channel = in.u32();
        call.channel = in.u32();
        return call;
    }
    }
}

velkor_address_names_s names(fuzzutil::Input& in)
{
    velkor_address_names_s n;
    n.system = in.text();
    n.fleet = in.text();
    n.unit = in.text();
    return n;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void checkJson(const std::string& line, const velkor_origin_s& origin, uint32_t code)
{
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    const auto json = nlohmann::json::parse(line, nullptr, false);
    FUZZ_CHECK(json.is_object());
    FUZZ_CHECK(json.value("cmd", std::string()) == commandName(code));
    const char* protocol = protocolName(origin.protocol);
    FUZZ_CHECK(protocol ? json["protocol"] == protocol : json["protocol"].is_null());
    if (!origin.timed()) {
        FUZZ_CHECK(json["time"].is_null());
        return;
    }
    const auto time = parseEventTime(json["time"].get<std::string>());
    // A time within a second of the clock's ends is one it cannot read back.
    const auto nearEnd = std::chrono::seconds(2);
    if (!time.ok()) {
        FUZZ_CHECK(origin.time < EventClock::time_point::min() + nearEnd ||
                   origin.time > EventClock::time_point::max() - nearEnd);
        return;
    }
    const auto off = *time > origin.time ? *time - origin.time : origin.time - *time;
    FUZZ_CHECK(off < std::chrono::milliseconds(1));
}

// The calls file: a header and rows, all of the header's columns.
void checkCalls(const std::string& text, const std::vector<std::string>& systemNames)
{
    const auto records = parseCsv(text);
    FUZZ_CHECK(records.ok());
    FUZZ_CHECK(records->size() == systemNames.size() + (text.empty() ? 0 : 1));
    for (size_t i = 1; i < records->size(); ++i) {
        FUZZ_CHECK((*records)[i].fields.size() == (*records)[0].fields.size());
        FUZZ_CHECK((*records)[i].fields[7] == systemNames[i - 1]);
    }
}

void mqttTexts(fuzzutil::Input& in)
{
    const std::string where = in.text();
    if (const auto a = parseMqttAddress(where))
        FUZZ_CHECK(a->port >= 1 && a->port <= 65535 && !a->host.empty());
    const auto base = checkedBaseTopic(in.text());
    if (!base)
        return;
    for (uint32_t code : kCodes) {
        const std::string topic = eventTopic(*base, code);
        FUZZ_CHECK(topic.rfind(*base + "/", 0) == 0);
        FUZZ_CHECK(topic.find_first_of("+#", base->size()) == std::string::npos);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzzutil::ScratchFile dir("events");
    static velkor::SilentNotices quiet;
    fuzzutil::Input in(data, size);
    mqttTexts(in);

    // Files cost more than the rest of a run: the last byte says whether this run's
    // events also go through the daily files.
    const bool toFiles = size > 0 && (data[size - 1] & 1) != 0;
    std::filesystem::remove_all(dir.path());
    std::string lines;
    std::vector<std::string> systemNames;
    EventClock::time_point now{};
    {
        std::optional<DailyLog> log;
        if (toFiles)
            log.emplace(dir.path(), quiet, [&now] { return now; });
        CallLog calls([&](const call_record_s& call) {
            if (log)
                log->call(call);
            systemNames.push_back(call.names.target.system);
        });
        for (int events = 0; !in.empty() && events < 8; ++events) {
            velkor_origin_s origin;
            origin.protocol = static_cast<EventProtocol>(in.byte() % 4);
            origin.time = EventClock::time_point(EventClock::duration(static_cast<int64_t>(in.u64())));
            const uint32_t code = kCodes[in.byte() % std::size(kCodes)];
            const CmdPayload p = payload(in);
            velkor_event_names_s n;
            n.address = names(in);
            n.target = names(in);
            n.origin = names(in);
            const std::string line = eventJson(origin, code, p, in.byte() & 1 ? &n : nullptr);
            checkJson(line, origin, code);
            if (log)
                log->event(line);
            lines += line + "\n";
            if (const auto* call = std::get_if<velkor_call_s>(&p); call && code == CMDWND_REPORT_CALL)
                calls.report(origin, *call, n, std::nullopt, (in.byte() & 1) != 0);
            else if (call && code == CMDWND_CLEAR_CALL)
                calls.clear(origin, *call);
        }
    }
    if (!toFiles)
        return 0;
    // The clock never moves: one file of each kind.
    std::string events;
    std::string callRows;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        (entry.path().extension() == ".jsonl" ? events : callRows) = readFile(entry.path());
    FUZZ_CHECK(events == lines);
    checkCalls(callRows, systemNames);
    return 0;
}

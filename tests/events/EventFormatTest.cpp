// The shared form of an event: its time as text, start times as users type them, the
// JSON object with its names, and the MQTT topic.
#include "events/EventJson.h"
#include "events/EventTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

using namespace std::chrono;

EventClock::time_point at(int64_t epochMs)
{
    return EventClock::time_point(duration_cast<EventClock::duration>(milliseconds(epochMs)));
}

// Runs a test body in a time zone of its choosing and puts the old one back.
class InZone {
public:
    explicit InZone(const char* tz)
    {
        const char* old = std::getenv("TZ");
        m_old = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~InZone()
    {
        if (m_old)
            ::setenv("TZ", m_old->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> m_old;
};

TEST(EventTime, FormatsUtcWithMillisecondsCutNotRounded)
{
    EXPECT_EQ(formatEventTime(at(1714607998250)), "2024-05-01T23:59:58.250Z");
    EXPECT_EQ(formatEventTime(at(1714607998250) + microseconds(999)), "2024-05-01T23:59:58.250Z");
    EXPECT_EQ(formatEventTime(at(0)), "1970-01-01T00:00:00.000Z");
}

TEST(EventTime, ParsesTheStartTimesUsersType)
{
    InZone zone("CET-1CEST,M3.5.0,M10.5.0/3"); // Central Europe: +02:00 in May
    const struct {
        const char* text;
        int64_t epochMs; // by hand: 2024-05-01T23:59:58Z is 1714607998
    } good[] = {
        {"2024-05-01T23:59:58Z", 1714607998000},
        {"2024-05-01T23:59:58.25Z", 1714607998250},
        {"2024-05-01 23:59:58.250z", 1714607998250},
        {"2024-05-02T01:59:58+02:00", 1714607998000},
        {"2024-05-01T18:59:58-0500", 1714607998000},
        {"2024-05-01T23:59Z", 1714607940000},
        {"2024-05-02T01:59:58", 1714607998000}, // local time, summer time in force
        {"2024-01-02T00:59:58", 1704153598000}, // local time, winter time (+01:00)
    };
    for (const auto& g : good) {
        SCOPED_TRACE(g.text);
        const auto t = parseEventTime(g.text);
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(duration_cast<milliseconds>(t->time_since_epoch()).count(), g.epochMs);
    }
    for (const char* bad : {"", "yesterday", "2024-05-01", "2024-13-01T00:00:00Z", "2024-02-30T10:00:00Z",
                            "2024-05-01T24:00:00Z", "2024-05-01T10:00:00+2", "2024-05-01T10:00:00Zulu",
                            "2024-05-01T10:00:00.Z", "2024-05-01T10:00:00 UTC"}) {
        SCOPED_TRACE(bad);
        std::string why;
        EXPECT_FALSE(parseEventTime(bad, &why).has_value());
        EXPECT_NE(why.find(bad), std::string::npos) << why;
    }
}

TEST(EventTime, LocalDateTurnsAtLocalMidnight)
{
    InZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(localDate(at(1714600799999)), "2024-05-01"); // 23:59:59.999 local
    EXPECT_EQ(localDate(at(1714600800000)), "2024-05-02"); // 00:00 local = 22:00Z
}

TEST(EventJson, CarriesTheOldFieldsThenTimeProtocolAndNames)
{
    const velkor_origin_s mpt{EventProtocol::Mpt1327, at(1714607998250)};
    const velkor_call_s call{0, {1, 1, 100}, {1, 1, 200}, 1, 17};
    velkor_event_names_s names;
    names.target = {"Site", "Fleet 1", "Dispatch"};
    names.origin = {"Site", "Fleet 1", "Car \"7\""};
    velkor_event_names_s systemNames;
    systemNames.address = {"Site", "", ""};
    const struct {
        velkor_origin_s origin;
        uint32_t code;
        CmdPayload payload;
        const velkor_event_names_s* names;
        const char* json;
    } cases[] = {
        {mpt, CMDWND_MUTE, {}, nullptr, R"({"cmd":"MUTE","time":"2024-05-01T23:59:58.250Z","protocol":"mpt1327"})"},
        {{EventProtocol::Nmt450, at(1714607998250)}, CMDWND_ADD_LOGSTR, LogText("Tar: \xf8"), nullptr,
         R"({"cmd":"ADD_LOGSTR","text":"Tar: ø","time":"2024-05-01T23:59:58.250Z","protocol":"nmt450"})"},
        {{EventProtocol::Motorola, at(1714607998250)}, CMDWND_REPORT_SYSTEM, velkor_address_s{1, 0, 0}, &systemNames,
         R"({"cmd":"REPORT_SYSTEM","system":1,"fleet":0,"unit":0,"time":"2024-05-01T23:59:58.250Z",)"
         R"("protocol":"motorola","names":{"system":"Site"}})"},
        {mpt, CMDWND_REPORT_CALL, call, &names,
         R"({"cmd":"REPORT_CALL","type":0,"target":{"system":1,"fleet":1,"unit":100},)"
         R"("origin":{"system":1,"fleet":1,"unit":200},"control_channel":1,"channel":17,)"
         R"("time":"2024-05-01T23:59:58.250Z","protocol":"mpt1327","names":{"target":{"system":"Site",)"
         R"("fleet":"Fleet 1","unit":"Dispatch"},"origin":{"system":"Site","fleet":"Fleet 1","unit":"Car \"7\""}}})"},
        {{}, CMDWND_CLEAR_CALL, call, nullptr,
         R"({"cmd":"CLEAR_CALL","type":0,"target":{"system":1,"fleet":1,"unit":100},)"
         R"("origin":{"system":1,"fleet":1,"unit":200},"control_channel":1,"channel":17,"time":null,"protocol":null})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(eventJson(c.origin, c.code, c.payload, c.names), c.json);
    }
}

TEST(EventJson, NamesOnlyTheLevelsAnAddressHas)
{
    int lookups = 0;
    const AddressNameLookup book = [&](uint32_t s, uint32_t f, uint32_t u) {
        ++lookups;
        return std::to_string(s) + "." + std::to_string(f) + "." + std::to_string(u);
    };
    const auto fleet = addressNames({5, 2, 0}, book);
    EXPECT_EQ(fleet.system, "5.0.0");
    EXPECT_EQ(fleet.fleet, "5.2.0");
    EXPECT_EQ(fleet.unit, "");
    EXPECT_EQ(lookups, 2);
    const auto names = eventNames(CMDWND_REPORT_CALL, velkor_call_s{0, {5, 2, 3}, {5, 0, 0}, 0, 1}, book);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->target.unit, "5.2.3");
    EXPECT_EQ(names->origin.fleet, "");
    EXPECT_FALSE(eventNames(CMDWND_ADD_LOGSTR, LogText("x"), book));
    // A name that is not UTF-8 (a hand-edited book) costs nothing but its bad bytes.
    velkor_event_names_s bad;
    bad.address.system = "\xff";
    EXPECT_NE(eventJson({}, CMDWND_REPORT_SYSTEM, velkor_address_s{1, 0, 0}, &bad).find(R"("names":{"system":")"),
              std::string::npos);
}

TEST(EventJson, TopicIsTheBaseAndTheCommandInLowerCase)
{
    EXPECT_EQ(eventTopic("velkor", CMDWND_ADD_LOGSTR), "velkor/add_logstr");
    EXPECT_EQ(eventTopic("site/a", CMDWND_REPORT_CALL), "site/a/report_call");
    EXPECT_EQ(eventTopic("velkor", 0x1234), "velkor/unknown");
}

} // namespace

// The shared form of an event: its time as text, start times as users type them, the
// JSON object with its names, the MQTT topic, and the daily files (their rows, their
// turn at local midnight, the calls put together from the events).
#include "events/DailyLog.h"
#include "events/EventJson.h"
#include "events/EventTime.h"
#include "fixtures/CollectingNotices.h"
#include "fixtures/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace velkor;

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
        {"2024-05-01T23:59:58Z", 1714607998000},     {"2024-05-01T23:59:58.25Z", 1714607998250},
        {"2024-05-01 23:59:58.250z", 1714607998250}, {"2024-05-02T01:59:58+02:00", 1714607998000},
        {"2024-05-01T18:59:58-0500", 1714607998000}, {"2024-05-01T23:59Z", 1714607940000},
        {"2024-05-02T01:59:58", 1714607998000}, // local time, summer time in force
        {"2024-01-02T00:59:58", 1704153598000}, // local time, winter time (+01:00)
    };
    for (const auto& g : good) {
        SCOPED_TRACE(g.text);
        const auto t = parseEventTime(g.text);
        ASSERT_TRUE(t.ok()) << t.error();
        EXPECT_EQ(duration_cast<milliseconds>(t->time_since_epoch()).count(), g.epochMs);
    }
    for (const char* bad :
         {"", "yesterday", "2024-05-01", "2024-13-01T00:00:00Z", "2024-02-30T10:00:00Z", "2024-05-01T24:00:00Z",
          "2024-05-01T10:00:00+2", "2024-05-01T10:00:00Zulu", "2024-05-01T10:00:00.Z", "2024-05-01T10:00:00 UTC"}) {
        SCOPED_TRACE(bad);
        const auto t = parseEventTime(bad);
        ASSERT_FALSE(t.ok());
        EXPECT_EQ(t.error().rfind("\"" + std::string(bad) + "\" is no ", 0), 0u) << t.error();
    }
}

// Found by fuzzing: a start time beyond the clock's years overflowed it.
TEST(EventTime, StartTimesBeyondTheClockAreRefused)
{
    for (const char* text : {"1600-01-01T00:00:00Z", "1677-01-01T00:00:00Z", "2262-04-12T00:00:00Z",
                             "9999-12-31T23:59:59.999Z", "0000-01-01T00:00:00+01:00"}) {
        const auto parsed = parseEventTime(text);
        ASSERT_FALSE(parsed.ok()) << text;
        EXPECT_EQ(parsed.error(),
                  "\"" + std::string(text) + "\" is outside the times the program can count (1678 to 2261)");
    }
    EXPECT_TRUE(parseEventTime("2261-12-31T23:59:59Z").ok());
    EXPECT_TRUE(parseEventTime("1678-01-01T00:00:00Z").ok());
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
        {{EventProtocol::Nmt450, at(1714607998250)},
         CMDWND_ADD_LOGSTR,
         LogText("Tar: \xf8"),
         nullptr,
         R"({"cmd":"ADD_LOGSTR","text":"Tar: ø","time":"2024-05-01T23:59:58.250Z","protocol":"nmt450"})"},
        {{EventProtocol::Motorola, at(1714607998250)},
         CMDWND_REPORT_SYSTEM,
         velkor_address_s{1, 0, 0},
         &systemNames,
         R"({"cmd":"REPORT_SYSTEM","system":1,"fleet":0,"unit":0,"time":"2024-05-01T23:59:58.250Z",)"
         R"("protocol":"motorola","names":{"system":"Site"}})"},
        {mpt, CMDWND_REPORT_CALL, call, &names,
         R"({"cmd":"REPORT_CALL","type":0,"target":{"system":1,"fleet":1,"unit":100},)"
         R"("origin":{"system":1,"fleet":1,"unit":200},"control_channel":1,"channel":17,)"
         R"("time":"2024-05-01T23:59:58.250Z","protocol":"mpt1327","names":{"target":{"system":"Site",)"
         R"("fleet":"Fleet 1","unit":"Dispatch"},"origin":{"system":"Site","fleet":"Fleet 1","unit":"Car \"7\""}}})"},
        {{},
         CMDWND_CLEAR_CALL,
         call,
         nullptr,
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

TEST(DailyLog, CsvFieldsQuotedAsRfc4180Has)
{
    const struct {
        const char* text;
        const char* field;
    } cases[] = {
        {"Dispatch", "Dispatch"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"Car \"7\"", "\"Car \"\"7\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(csvField(c.text), c.field);
    }
    call_record_s call;
    call.start = at(1714607998250);
    call.end = at(1714608010000);
    call.protocol = EventProtocol::Mpt1327;
    call.call = {0, {1, 1, 100}, {1, 1, 200}, 1, 17};
    call.names.target = {"Site, North", "Fleet 1", "Dispatch"};
    call.names.origin = {"Site, North", "Fleet 1", "Car \"7\""};
    call.mhz = 169.2;
    call.followed = true;
    EXPECT_EQ(callCsvHeader(),
              "start,end,duration,protocol,system,target,origin,system_name,target_name,origin_name,"
              "channel,frequency,followed,recording\r\n");
    call.recording = "2024-05-02/015958-1-1-100.flac";
    EXPECT_EQ(callCsvRow(call),
              "2024-05-01T23:59:58.250Z,2024-05-02T00:00:10.000Z,11.750,mpt1327,1,1/100,1/200,"
              "\"Site, North\",Fleet 1 / Dispatch,\"Fleet 1 / Car \"\"7\"\"\",17,169.2000,yes,"
              "2024-05-02/015958-1-1-100.flac\r\n");
    call.mhz.reset();
    call.followed = false;
    call.names = {};
    call.recording.clear();
    EXPECT_EQ(callCsvRow(call),
              "2024-05-01T23:59:58.250Z,2024-05-02T00:00:10.000Z,11.750,mpt1327,1,1/100,1/200,"
              ",,,17,,no,\r\n");
}

// Found by fuzzing: the duration of a call from 1811 to 2128 overflowed the clock.
TEST(DailyLog, ACallLongerThanTheClockCanCountLastsItsLargestDuration)
{
    call_record_s call;
    call.start = EventClock::time_point(EventClock::duration(-5'000'000'000'000'000'000));
    call.end = EventClock::time_point(EventClock::duration(5'000'000'000'000'000'000));
    EXPECT_NE(callCsvRow(call).find(",9223372036.854,"), std::string::npos) << callCsvRow(call);
}

TEST(DailyLog, FilesTurnAtLocalMidnight)
{
    InZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    testsignal::TempDir dir;
    auto now = at(1714600799900); // 2024-05-01 23:59:59.900 local
    CollectingNotices notices;
    DailyLog log(dir.path() + "/logs", notices, [&] { return now; });
    log.event(R"({"n":1})");
    log.call({});
    now = at(1714600800100); // 00:00:00.100 local, the next day
    log.event(R"({"n":2})");
    log.event(R"({"n":3})");
    log.call({});
    EXPECT_EQ(testsignal::readFile(dir.file("logs/velkor-2024-05-01.jsonl")), "{\"n\":1}\n");
    EXPECT_EQ(testsignal::readFile(dir.file("logs/velkor-2024-05-02.jsonl")), "{\"n\":2}\n{\"n\":3}\n");
    // Each day's calls file starts with its header.
    for (const char* day : {"2024-05-01", "2024-05-02"}) {
        const std::string text = testsignal::readFile(dir.file(std::string("logs/calls-") + day + ".csv"));
        SCOPED_TRACE(day);
        EXPECT_EQ(text.rfind(callCsvHeader(), 0), 0u);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    }
}

TEST(DailyLog, AppendsAndTellsAFileItCannotWriteOnceWithoutStopping)
{
    InZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    testsignal::TempDir dir;
    auto now = at(1714600799900); // 2024-05-01 23:59:59.900 local
    {
        velkor::SilentNotices quiet;
        DailyLog first(dir.path(), quiet, [&] { return now; });
        first.event("{}");
        first.call({});
    }
    CollectingNotices notices;
    const std::vector<std::string>& notes = notices.notes;
    DailyLog second(dir.path(), notices, [&] { return now; });
    second.event("{}");
    second.call({});
    EXPECT_EQ(testsignal::readFile(dir.file("velkor-2024-05-01.jsonl")), "{}\n{}\n");
    const std::string calls = testsignal::readFile(dir.file("calls-2024-05-01.csv"));
    EXPECT_EQ(calls.rfind(callCsvHeader(), 0), 0u);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), '\n'), 3) << calls; // one header, two rows
    // The next day's events file cannot be made (a directory stands in its way): told
    // once, and the calls go on being written.
    std::filesystem::create_directory(dir.file("velkor-2024-05-02.jsonl"));
    now = at(1714600800100);
    second.event("{}");
    second.event("{}");
    second.call({});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("velkor-2024-05-02.jsonl"), std::string::npos) << notes[0];
    EXPECT_EQ(std::count(notes[0].begin(), notes[0].end(), '\n'), 0);
    EXPECT_NE(testsignal::readFile(dir.file("calls-2024-05-02.csv")), "");
    // A directory that cannot be written is an error at once.
    std::ofstream(dir.file("plain")) << "x";
    EXPECT_THROW(DailyLog(dir.file("plain") + "/logs", notices, [&] { return now; }), DailyLogError);
    EXPECT_THROW(DailyLog(dir.file("velkor-2024-05-02.jsonl") + "/..", notices, [&] { return now; }), DailyLogError);
    EXPECT_TRUE(notices.alerts.empty());
}

TEST(CallLog, PutsCallsTogetherFromGrantsAndClearDowns)
{
    std::vector<call_record_s> rows;
    CallLog calls([&](const call_record_s& c) { rows.push_back(c); });
    const velkor_origin_s mpt{EventProtocol::Mpt1327, at(1000)};
    auto t = [](int64_t ms) { return velkor_origin_s{EventProtocol::Mpt1327, at(ms)}; };
    const velkor_call_s a{0, {1, 1, 100}, {1, 1, 200}, 1, 17};
    const velkor_call_s b{0, {1, 1, 101}, {1, 1, 201}, 1, 17};
    const velkor_call_s c{0, {1, 1, 102}, {1, 1, 202}, 1, 18};
    calls.report(mpt, a, {}, std::nullopt, false);
    calls.report(t(2000), a, {}, 169.2, true); // the same call again, now followed
    calls.report(t(2500), c, {}, std::nullopt, false);
    ASSERT_TRUE(rows.empty());
    calls.report(t(3000), b, {}, std::nullopt, false); // another call takes channel 17
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].call, a);
    EXPECT_EQ(rows[0].start, at(1000));
    EXPECT_EQ(rows[0].end, at(3000));
    EXPECT_TRUE(rows[0].followed);
    EXPECT_EQ(rows[0].mhz, 169.2);
    velkor_call_s clear18;
    clear18.target.system = 1;
    clear18.channel = 18;
    calls.clear(t(4000), clear18); // a clear-down names only its channel
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].call, c);
    EXPECT_EQ(rows[1].end, at(4000));
    EXPECT_FALSE(rows[1].followed);
    calls.clear(t(4500), velkor_call_s{}); // nothing on channel 0
    calls.finishAll();                     // the end of the run ends the rest
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].call, b);
    EXPECT_EQ(rows[2].end, at(4500));
}

// A day's calls file begun before the recording column keeps its columns; the next
// day's file has the new header.
TEST(DailyLog, ADayBegunWithTheOldHeaderKeepsItsColumns)
{
    InZone zone("UTC0");
    testsignal::TempDir dir;
    auto now = at(1714600799900); // 2024-05-01 21:59:59.900
    const std::string oldHeader = "start,end,duration,protocol,system,target,origin,system_name,target_name,"
                                  "origin_name,channel,frequency,followed\r\n";
    testsignal::writeFile(dir.file("calls-2024-05-01.csv"), oldHeader);
    CollectingNotices notices;
    DailyLog log(dir.path(), notices, [&] { return now; });
    call_record_s call;
    call.recording = "2024-05-01/215959-1-1-100.flac";
    log.call(call);
    now += hours(3);
    log.call(call);
    const std::string old = testsignal::readFile(dir.file("calls-2024-05-01.csv"));
    EXPECT_EQ(old.substr(oldHeader.size()),
              "1970-01-01T00:00:00.000Z,1970-01-01T00:00:00.000Z,0.000,,0,0/0,0/0,,,,0,,no\r\n");
    const std::string next = testsignal::readFile(dir.file("calls-2024-05-02.csv"));
    EXPECT_EQ(next.substr(next.find('\n') + 1),
              "1970-01-01T00:00:00.000Z,1970-01-01T00:00:00.000Z,0.000,,0,0/0,0/0,,,,0,,no,"
              "2024-05-01/215959-1-1-100.flac\r\n");
}

} // namespace

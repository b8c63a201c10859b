// The status line's text: lines per decoder in the last minute, the time of each
// decoder's last line, and which decoders hear a control channel now.
#include "cmdwnd/DecodeActivity.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace velkor;

namespace {

using namespace std::chrono_literals;
using Steady = DecodeActivity::Clock;

struct step_s {
    int atSeconds; // arrival, after the start
    EventProtocol protocol;
    uint32_t code;
    int wallSeconds; // the event's own time, seconds after 2026-12-09 10:00:00 UTC
};

struct activity_case_s {
    const char* name;
    std::vector<step_s> steps;
    int askedAtSeconds;
    const char* text;
};

const EventClock::time_point kWall = EventClock::from_time_t(1796810400); // 2026-12-09 10:00:00 UTC

class Activity : public ::testing::TestWithParam<activity_case_s> {
protected:
    void SetUp() override
    {
        // The times are shown in local time: make it UTC for the expected texts.
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

TEST_P(Activity, Text)
{
    DecodeActivity activity;
    const Steady::time_point start = Steady::now();
    for (const step_s& s : GetParam().steps)
        activity.note(s.protocol, s.code, start + std::chrono::seconds(s.atSeconds),
                      kWall + std::chrono::seconds(s.wallSeconds));
    EXPECT_EQ(activity.text(start + std::chrono::seconds(GetParam().askedAtSeconds)), GetParam().text);
}

const auto M = EventProtocol::Mpt1327;
const auto N = EventProtocol::Nmt450;
const auto O = EventProtocol::Motorola;

INSTANTIATE_TEST_SUITE_P(
    Cases, Activity,
    ::testing::Values(
        activity_case_s{
            "NothingYet", {}, 0, "Last minute: MPT 1327 0, NMT-450 0, Motorola 0 | Control channel: none heard"},
        activity_case_s{
            "LinesWithinTheMinute",
            {{0, M, CMDWND_ADD_LOGSTR, 5}, {30, M, CMDWND_ADD_LOGSTR, 35}, {31, O, CMDWND_ADD_LOGSTR, 3725}},
            59,
            "Last minute: MPT 1327 2 (last 10:00:35), NMT-450 0, Motorola 1 (last 11:02:05) | "
            "Control channel: none heard"},
        activity_case_s{"ALineAMinuteOldIsNoLongerCounted",
                        {{0, M, CMDWND_ADD_LOGSTR, 0}, {30, M, CMDWND_ADD_LOGSTR, 30}},
                        60,
                        "Last minute: MPT 1327 1 (last 10:00:30), NMT-450 0, Motorola 0 | Control channel: none heard"},
        activity_case_s{"TheLastTimeStaysAfterTheMinute",
                        {{0, N, CMDWND_ADD_LOGSTR, 59}},
                        600,
                        "Last minute: MPT 1327 0, NMT-450 0 (last 10:00:59), Motorola 0 | Control channel: none heard"},
        activity_case_s{"TheProgramsOwnLinesAndOtherEventsAreNoMessages",
                        {{0, EventProtocol::None, CMDWND_ADD_LOGSTR, 0},
                         {1, M, CMDWND_REPORT_CALL, 1},
                         {2, EventProtocol::None, CMDWND_MUTE, 2}},
                        3,
                        "Last minute: MPT 1327 0, NMT-450 0, Motorola 0 | Control channel: none heard"},
        activity_case_s{
            "HeardWhileADecoderHoldsTheMute",
            {{0, N, CMDWND_MUTE, 0}, {1, O, CMDWND_MUTE, 1}, {2, M, CMDWND_MUTE, 2}, {3, M, CMDWND_UNMUTE, 3}},
            4,
            "Last minute: MPT 1327 0, NMT-450 0, Motorola 0 | Control channel: heard (NMT-450, Motorola)"}),
    [](const ::testing::TestParamInfo<activity_case_s>& info) { return std::string(info.param.name); });

} // namespace

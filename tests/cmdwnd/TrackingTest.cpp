// Call tracking: which calls are followed, what the receiver is told, what is logged,
// driven through the timers' handler so that nothing waits.
#include "RecordingReceiver.h"
#include "TestOwner.h"
#include "cmdwnd/CallTracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

using namespace velkor;

namespace {

using Ops = std::vector<std::string>;

class FakeTimers : public TrackerTimers {
public:
    void startTimer(int id, int ms) override { running[id] = ms; }
    void stopTimer(int id) override { running.erase(id); }
    bool runs(int id) const { return running.count(id) != 0; }
    std::map<int, int> running;
};

class SelfSink : public CmdSink {
public:
    void post(uint32_t code, CmdPayload payload) override { posted.push_back({code, std::move(payload)}); }
    std::vector<std::pair<uint32_t, CmdPayload>> posted;
};

constexpr uint32_t kSys = 137;
const velkor_address_s kSystem{kSys, 0, 0};
const velkor_address_s kTarget{kSys, 12, 34};
const velkor_address_s kOrigin{kSys, 12, 56};
const velkor_address_s kOther{kSys, 12, 78};

velkor_call_s call(velkor_address_s target, velkor_address_s origin, uint32_t channel, uint32_t cc = 0)
{
    velkor_call_s c;
    c.target = target;
    c.origin = origin;
    c.channel = channel;
    c.control_channel = cc;
    return c;
}

// One tracker with its own owner, timers, scanner port and recording receiver; the
// channel plans it reads come from `plans`.
struct Rig {
    explicit Rig(velkor_channel_plan_s plan = {})
    {
        plans[kSys] = plan;
        tracker.setPlanSource([this](uint32_t system) {
            ++plansRead;
            return plans.count(system) ? plans[system] : velkor_channel_plan_s{};
        });
        auto r = std::make_unique<RecordingReceiver>(sim.devicePath());
        rx = r.get();
        tracker.setReceiver(std::move(r));
    }
    ScannerSimulator sim{ScannerFamily::Uniden250};
    TestOwner owner;
    FakeTimers timers;
    SelfSink self;
    std::map<uint32_t, velkor_channel_plan_s> plans;
    int plansRead = 0;
    CallTracker tracker{owner, timers, self};
    RecordingReceiver* rx = nullptr;
};

class Tracking : public ::testing::Test, protected Rig {
protected:
    // A system report with the scanner on mhz, then a marked call on channel.
    void follow(velkor_call_s c, double scannerMhz = 0.0)
    {
        rx->frequency = scannerMhz;
        tracker.reportSystem(kSystem);
        tracker.reportCall(c);
        ASSERT_EQ(tracker.callCounter(), 1u);
        rx->take();
    }

    // The same for a call to the marked unit kTarget on channel 8.
    void followMarked()
    {
        owner.addUnit(kTarget, "T", true);
        follow(call(kTarget, kOrigin, 8));
    }

    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            tracker.onTimer(CallTracker::kCallTimer);
    }
};

TEST_F(Tracking, FrequencyAndNarrowFlagFromThePlan)
{
    const struct {
        velkor_channel_plan_s plan;
        uint32_t channel;
        const char* expect;
    } cases[] = {
        {{4200000, 125, 0}, 1, "freq 420.0125 1"},     {{4200000, 250, 0}, 1, "freq 420.0250 0"},
        {{4200000, 200, 0}, 3, "freq 420.0600 0"}, // 20 kHz is not narrow
        {{4500000, 125, 100}, 100, "freq 450.0000 1"}, {{4500000, 125, -5}, 0, "freq 450.0625 1"},
        {{1530000, 125, 1}, 1001, "freq 165.5000 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expect);
        Rig g(c.plan);
        g.owner.addUnit(kTarget, "T", true);
        g.tracker.reportSystem(kSystem);
        g.rx->take();
        g.tracker.reportCall(call(kTarget, kOrigin, c.channel));
        ASSERT_FALSE(g.rx->ops.empty());
        EXPECT_EQ(g.rx->ops.front(), c.expect);
    }
}

TEST_F(Tracking, LearnedControlChannelIsTruncated)
{
    const struct {
        double mhz;
        int32_t channel;
    } cases[] = {{420.0125, 0}, {420.025, 1}, {420.0375, 3}, {420.125, 10}, {420.0, 0}, {0.0, 0}, {419.9, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mhz);
        Rig g;
        g.rx->frequency = 420.125; // the first report learns 10 ...
        g.tracker.reportSystem(kSystem);
        g.rx->frequency = c.mhz; // ... the second one what the scanner says now
        g.tracker.reportSystem(kSystem);
        const int32_t expect = c.mhz > 420.0 ? c.channel : 10;
        EXPECT_EQ(g.tracker.systemParams(kSys)->control_channel, expect);
    }
}

TEST_F(Tracking, PlanIsLoadedOnceAtTheFirstSystemReport)
{
    plans[kSys] = {4500000, 250, 70000 - 65536};
    tracker.reportSystem({kSys, 12, 0}); // not a system address: nothing loaded
    EXPECT_EQ(plansRead, 0);
    tracker.reportSystem(kSystem);
    tracker.reportSystem(kSystem);
    EXPECT_EQ(plansRead, 1);
    const velkor_system_params_s* p = tracker.systemParams(kSys);
    ASSERT_NE(p, nullptr);
    EXPECT_DOUBLE_EQ(p->base, 450.0);
    EXPECT_DOUBLE_EQ(p->step, 0.025);
    EXPECT_EQ(p->offset, 4464);
    EXPECT_EQ(rx->take(), (Ops{"getFrequency", "text 'New System'", "getFrequency", "text 'New System'"}));
}

TEST_F(Tracking, FollowDecision)
{
    // target state in the book (-1 absent, 0 unchecked, 1 checked), origin state
    const struct {
        int target, origin;
        bool followed;
    } cases[] = {
        {1, -1, true}, {1, 0, true}, {-1, 1, true}, {-1, 0, false}, {-1, -1, false}, {0, 1, false}, {0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.target << "/" << c.origin);
        Rig g;
        g.owner.settings.auto_add = false;
        if (c.target >= 0)
            g.owner.addUnit(kTarget, "T", c.target == 1);
        if (c.origin >= 0)
            g.owner.addUnit(kOrigin, "O", c.origin == 1);
        g.tracker.reportSystem(kSystem);
        g.tracker.reportCall(call(kTarget, kOrigin, 5));
        EXPECT_EQ(g.tracker.callCounter(), c.followed ? 1u : 0u);
        EXPECT_EQ(g.owner.endCallEnabled, c.followed);
        EXPECT_EQ(g.timers.runs(CallTracker::kCallTimer), c.followed);
        for (int select : g.owner.selects)
            EXPECT_EQ(select, 1);
    }
}

TEST_F(Tracking, FollowedCallTunesWritesNamesAndStartsTheTimer)
{
    owner.settings.backlight = true;
    owner.addUnit(kTarget, "Alpha", true);
    owner.addUnit(kOrigin, "Bravo \xC3\xB8", false); // UTF-8 in the book, Windows-1252 on the scanner
    owner.nameNode({kSys, 12, 0}, "Fleet 12");
    tracker.reportSystem(kSystem);
    rx->take();
    tracker.reportCall(call(kTarget, kOrigin, 8));
    EXPECT_EQ(rx->take(), (Ops{"backlight 0", "freq 420.1000 1", "text 'Bravo \xF8 > Alpha'", "text2 'Fleet 12'"}));
    EXPECT_EQ(timers.running.at(CallTracker::kCallTimer), 1000);
    EXPECT_TRUE(owner.endCallEnabled);
    EXPECT_EQ(tracker.trackedCall().channel, 8u);
}

TEST_F(Tracking, DisplayTextsForGroupAndSelfCalls)
{
    const struct {
        velkor_address_s target, origin;
        const char* text;
    } cases[] = {
        {kTarget, kOrigin, "text 'O > T'"},
        {kTarget, kTarget, "text 'T'"},       // origin equal to target is left out
        {kTarget, {kSys, 12, 0}, "text 'T'"}, // origin without unit
        {{kSys, 12, 0}, kOrigin, "text 'O'"}, // fleet call: no " > "
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Rig g;
        g.owner.addUnit(kTarget, "T", true);
        g.owner.addUnit(kOrigin, "O", true);
        g.tracker.reportSystem(kSystem);
        g.rx->take();
        g.tracker.reportCall(call(c.target, c.origin, 2));
        ASSERT_EQ(g.rx->ops.size(), 3u);
        EXPECT_EQ(g.rx->ops[1], c.text);
    }
}

TEST_F(Tracking, NothingFollowedWithoutReceiverFollowCallsOrPlan)
{
    owner.addUnit(kTarget, "T", true);
    tracker.reportCall(call(kTarget, kOrigin, 1)); // no system report yet
    EXPECT_EQ(owner.log.all(), Ops{"Couldn't tune receiver, missing system parameters!"});
    EXPECT_EQ(tracker.callCounter(), 0u);

    tracker.reportSystem(kSystem);
    owner.settings.follow_calls = false;
    rx->take();
    tracker.reportCall(call(kTarget, kOrigin, 1));
    EXPECT_TRUE(rx->take().empty());
    EXPECT_EQ(tracker.callCounter(), 0u);

    owner.settings.follow_calls = true;
    tracker.deleteReceiver();
    tracker.reportCall(call(kTarget, kOrigin, 1));
    EXPECT_EQ(tracker.callCounter(), 0u);
}

TEST_F(Tracking, ChannelBelowTheOffsetIsNeverSent)
{
    plans[kSys] = {4200000, 125, 100};
    owner.addUnit(kTarget, "T", true);
    tracker.reportSystem(kSystem);
    rx->take();
    tracker.reportCall(call(kTarget, kOrigin, 99));
    EXPECT_TRUE(rx->take().empty());
    EXPECT_EQ(tracker.callCounter(), 0u);
    EXPECT_EQ(owner.log.all(),
              Ops{"Couldn't tune receiver, channel 99 is below the channel offset 100 of system 137!"});

    // On the way back the clear still completes, without the bad frequency.
    owner.settings.return_to_cc = true;
    tracker.reportCall(call(kTarget, kOrigin, 100, 7));
    rx->take();
    tracker.clearCall(call(kTarget, kOrigin, 100, 7));
    EXPECT_EQ(rx->take(), (Ops{"text 'New System'", "text2 null"}));
    EXPECT_EQ(tracker.callCounter(), 0u);
    EXPECT_EQ(owner.log.lines.back(), "     | Call duration:    0m  1s        |");
}

TEST_F(Tracking, AutoAddAddsOriginThenTargetEvenWhileTracking)
{
    owner.addUnit(kTarget, "T", true);
    follow(call(kTarget, kOrigin, 3));
    tracker.reportCall(call(kOther, {kSys, 40, 41}, 4));
    EXPECT_NE(owner.book.FindAddr(kOther), nullptr);
    EXPECT_NE(owner.book.FindAddr({kSys, 40, 41}), nullptr);
    EXPECT_TRUE(rx->take().empty()); // the call followed is never replaced
    EXPECT_EQ(tracker.trackedCall().channel, 3u);

    owner.settings.auto_add = false;
    tracker.reportCall(call({kSys, 50, 51}, {kSys, 50, 52}, 4));
    tracker.reportSystem({kSys, 60, 0});
    EXPECT_EQ(owner.book.FindAddr({kSys, 50, 51}), nullptr);
    EXPECT_EQ(owner.book.FindAddr({kSys, 60, 0}), nullptr);
}

TEST_F(Tracking, ClearGoesToScanControlChannelOrNowhere)
{
    const struct {
        bool scan, returnToCc;
        uint32_t callCc;
        const char* op;
    } cases[] = {
        {true, true, 0, "scan"},
        {true, false, 0, "scan"},
        {false, true, 0, "freq 420.1250 1"}, // learned control channel 10
        {false, true, 3, "freq 420.0375 1"}, // the clear's own control channel
        {false, false, 3, "freq 0.0000 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        Rig g;
        g.owner.settings.scan_on_clear = c.scan;
        g.owner.settings.return_to_cc = c.returnToCc;
        g.owner.addUnit(kTarget, "T", true);
        g.owner.nameNode(kSystem, "Site");
        g.rx->frequency = 420.125;
        g.tracker.reportSystem(kSystem);
        g.tracker.reportCall(call(kTarget, kOrigin, 8, c.callCc));
        EXPECT_EQ(g.tracker.trackedCall().control_channel, c.callCc ? c.callCc : 10u);
        g.rx->take();
        // End Call builds the clear from the tracked call.
        g.tracker.endCall();
        EXPECT_EQ(g.rx->take(), (Ops{c.op, "text 'Site'", "text2 null"}));
        EXPECT_FALSE(g.owner.endCallEnabled);
        EXPECT_FALSE(g.timers.runs(CallTracker::kCallTimer));
    }
}

TEST_F(Tracking, DecoderClearNamesItsOwnControlChannel)
{
    owner.settings.return_to_cc = true;
    owner.addUnit(kTarget, "T", true);
    follow(call(kTarget, kOrigin, 8, 2));
    velkor_call_s clear;
    clear.target.system = kSys;
    clear.control_channel = 5;
    tracker.clearCall(clear);
    EXPECT_EQ(rx->take().front(), "freq 420.0625 1");
}

TEST_F(Tracking, BacklightAroundTheClear)
{
    owner.settings.backlight = true;
    followMarked();
    tracker.clearCall(call(kTarget, kOrigin, 8));
    EXPECT_EQ(rx->take(), (Ops{"backlight 1", "freq 0.0000 0", "text 'New System'", "text2 null", "backlight 2"}));
}

TEST_F(Tracking, ClearWithoutTrackedCallLogsNothing)
{
    tracker.reportSystem(kSystem);
    rx->take();
    tracker.clearCall(call(kTarget, kOrigin, 8));
    tracker.endCall();
    EXPECT_TRUE(rx->take().empty());
    EXPECT_TRUE(owner.log.lines.empty());
}

TEST_F(Tracking, SquelchQueryEveryFiveCounts)
{
    followMarked();
    ticks(3);
    EXPECT_TRUE(rx->take().empty());
    ticks(1); // counter 5, about 4 s in
    EXPECT_EQ(rx->take(), Ops{"squelch?"});
    EXPECT_TRUE(self.posted.empty()); // squelch open: the call goes on
    ticks(5);
    EXPECT_EQ(rx->take(), Ops{"squelch?"});
    rx->squelchOpen = 0;
    ticks(5);
    ASSERT_EQ(self.posted.size(), 1u);
    EXPECT_EQ(self.posted[0].first, uint32_t(CMDWND_CLEAR_CALL));
    EXPECT_EQ(std::get<velkor_call_s>(self.posted[0].second), tracker.trackedCall());
    tracker.clearCall(std::get<velkor_call_s>(self.posted[0].second));
    EXPECT_EQ(owner.log.lines.back(), "     | Call duration:    0m 15s        |");
}

TEST_F(Tracking, DurationLines)
{
    const struct {
        int squelchOpen, ticks; // a closed squelch posts the clear at the first query
        const char* line;
    } cases[] = {{0, 4, "     | Call duration:    0m  5s        |"},
                 {1, 60 * 12 + 6, "     | Call duration:   12m  7s        |"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Rig g;
        g.rx->squelchOpen = c.squelchOpen;
        g.owner.addUnit(kTarget, "T", true);
        g.tracker.reportSystem(kSystem);
        g.tracker.reportCall(call(kTarget, kOrigin, 8));
        for (int i = 0; i < c.ticks; ++i)
            g.tracker.onTimer(CallTracker::kCallTimer);
        ASSERT_EQ(g.self.posted.size(), c.squelchOpen ? 0u : 1u);
        g.tracker.clearCall(g.self.posted.empty() ? call(kTarget, kOrigin, 8)
                                                  : std::get<velkor_call_s>(g.self.posted[0].second));
        EXPECT_EQ(g.owner.log.all(), Ops{c.line});
    }
}

TEST_F(Tracking, TimerTickWithoutCallStopsTheTimer)
{
    timers.startTimer(CallTracker::kCallTimer, 1000);
    ticks(1);
    EXPECT_FALSE(timers.runs(CallTracker::kCallTimer));
    tracker.onTimer(7); // any other timer: nothing
    EXPECT_EQ(tracker.callCounter(), 0u);
}

TEST_F(Tracking, WithoutReceiverTheTimerPostsClearsThatAreIgnored)
{
    followMarked();
    tracker.deleteReceiver();
    ticks(4);
    ASSERT_EQ(self.posted.size(), 1u);
    tracker.clearCall(std::get<velkor_call_s>(self.posted[0].second));
    EXPECT_EQ(tracker.callCounter(), 5u); // still tracked
    EXPECT_TRUE(owner.endCallEnabled);
}

TEST_F(Tracking, FollowCallsOffMidCall)
{
    followMarked();
    owner.settings.follow_calls = false;
    rx->squelchOpen = 0;
    ticks(4);
    ASSERT_EQ(self.posted.size(), 1u);
    tracker.clearCall(call(kTarget, kOrigin, 8));
    tracker.endCall();
    EXPECT_EQ(tracker.callCounter(), 5u);
    EXPECT_TRUE(owner.endCallEnabled);
    EXPECT_TRUE(owner.log.lines.empty());
    ticks(5);
    EXPECT_EQ(self.posted.size(), 2u);
    owner.settings.follow_calls = true;
    tracker.clearCall(call(kTarget, kOrigin, 8));
    EXPECT_EQ(tracker.callCounter(), 0u);
    EXPECT_FALSE(owner.endCallEnabled);
    EXPECT_EQ(owner.log.all(), Ops{"     | Call duration:    0m 10s        |"});
}

TEST_F(Tracking, SystemReportStopsTheTimerButKeepsTheCall)
{
    followMarked();
    tracker.reportSystem(kSystem);
    EXPECT_FALSE(timers.runs(CallTracker::kCallTimer));
    EXPECT_EQ(tracker.callCounter(), 1u);
    tracker.clearCall(call(kTarget, kOrigin, 8));
    EXPECT_EQ(tracker.callCounter(), 0u);
}

TEST_F(Tracking, EndCallSuppressesTheSameTargetForTenSeconds)
{
    owner.addUnit(kTarget, "T", true);
    owner.addUnit(kOther, "X", true);
    follow(call(kTarget, kOrigin, 8));
    tracker.endCall();
    EXPECT_EQ(tracker.suppressedTarget(), kTarget);
    EXPECT_EQ(timers.running.at(CallTracker::kSuppressionTimer), 10000);
    tracker.reportCall(call(kTarget, kOrigin, 9));
    EXPECT_EQ(tracker.callCounter(), 0u);
    tracker.reportCall(call(kOther, kOrigin, 9)); // another target is followed
    EXPECT_EQ(tracker.callCounter(), 1u);
    tracker.endCall();
    EXPECT_EQ(tracker.suppressedTarget(), kOther); // re-armed
    tracker.onTimer(CallTracker::kSuppressionTimer);
    EXPECT_EQ(tracker.suppressedTarget(), velkor_address_s{});
    EXPECT_FALSE(timers.runs(CallTracker::kSuppressionTimer));
    tracker.reportCall(call(kTarget, kOrigin, 9));
    EXPECT_EQ(tracker.callCounter(), 1u);
}

// Which calls are followed with lockout, priority, holds and the resume delay. The book
// holds units of fleet 12 named U1..U9: "2cL1P5" is unit 2, checked, lockout 1,
// priority 5; unit 0 is the fleet; "H2" holds unit 2 (H0 the fleet). Steps: "g1/9/3" a
// grant to unit 1 from unit 9 on channel 3, "c" a clear, "e" End Call, "t2999" time
// passing (ms). Then the channels tuned (0: no frequency) and the log.
TEST_F(Tracking, FollowRulesDecideWhichCallsAreFollowed)
{
    const std::string d = "     | Call duration:    0m  1s        |", p = "     | Priority call ";
    const struct {
        const char *name, *book;
        uint32_t resumeMs;
        const char *steps, *tuned;
        Ops log;
    } cases[] = {
        // clang-format off
        {"no rules: first come, never replaced", "1c 2c", 0, "g1/9/1 g2/9/2", "1", {}},
        {"locked-out unit", "1cL1 2c", 0, "g1/9/1 g1/9/1 g2/9/2", "2", {"     | Locked out: 9 > U1"}},
        {"locked-out origin", "1c 8cL1", 0, "g1/8/1", "", {"     | Locked out: U8 > U1"}},
        {"fleet locked out, a unit's own 0 passes", "0L1 1cL0 2c", 0, "g2/2/2 g1/1/1", "1", {"     | Locked out: U2"}},
        {"unchecked locked-out unit: nothing said", "1L1", 0, "g1/9/1", "", {}},
        {"higher takes over", "1cP5 2cP2", 0, "g1/9/1 g2/9/2", "1 2", {p + "9 > U2 takes over from 9 > U1", d}},
        {"lower priority waits", "1cP5 2cP2", 0, "g2/9/2 g1/9/1", "2", {}},
        {"equal priority waits", "1cP3 2cP3", 0, "g1/9/1 g2/9/2", "1", {}},
        {"fleet's beats unit's own none", "0P4 1c 2cP0", 0, "g2/2/2 g1/1/1", "2 1", {p + "U1 takes over from U2", d}},
        {"origin's priority", "1c 2cP7 8cP1", 0, "g2/9/2 g1/8/1", "2 1", {p + "U8 > U1 takes over from 9 > U2", d}},
        {"hold", "1c 2 H2", 0, "g1/9/1 g2/9/2", "2", {"     | Held: 9 > U1 not followed, holding U2"}},
        {"a hold does not override a lockout", "2L1 H0", 0, "g2/9/2", "", {"     | Locked out: 9 > U2"}},
        {"resume: the same parties first, either way", "1c 2c 8c", 3000, "g1/8/1 c t2999 g2/9/2 g8/1/3", "1 0 3",
         {d, "     | Resume: 9 > U2 not followed, waiting for U8 > U1"}},
        {"resume delay over", "1c 2c", 3000, "g1/8/1 c t3000 g2/9/2", "1 0 2", {d}},
        {"End Call opens no resume window", "1c 2c", 3000, "g1/8/1 e g2/9/2", "1 0 2", {d}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig g;
        int64_t now = 0;
        g.tracker.setClock([&now] { return now; });
        g.owner.settings.auto_add = false;
        g.owner.settings.resume_ms = c.resumeMs;
        g.tracker.reportSystem(kSystem);
        std::istringstream book(c.book);
        for (std::string t; book >> t;) {
            const uint32_t unit = std::stoul(t.substr(t[0] == 'H'));
            if (t[0] == 'H') {
                g.tracker.hold({kSys, 12, unit});
                continue;
            }
            TreeItem* node = g.owner.book.EnsureAddr({kSys, 12, unit});
            node->entry.name = "U" + std::to_string(unit);
            node->entry.checked = t.find('c') != std::string::npos;
            const size_t l = t.find('L'), r = t.find('P');
            g.owner.book.SetRule(node, l == t.npos ? AddrEntry::kInherit : t[l + 1] - '0',
                                 r == t.npos ? AddrEntry::kInherit : t[r + 1] - '0');
        }
        g.owner.log.lines.clear();
        std::istringstream steps(c.steps);
        for (std::string t; steps >> t;) {
            uint32_t target = 0, origin = 0, channel = 0;
            if (t[0] == 'g' && std::sscanf(t.c_str(), "g%u/%u/%u", &target, &origin, &channel) == 3)
                g.tracker.reportCall(call({kSys, 12, target}, {kSys, 12, origin}, channel));
            else if (t[0] == 'c' || t[0] == 'e')
                t[0] == 'c' ? g.tracker.clearCall(g.tracker.trackedCall()) : g.tracker.endCall();
            else
                now += std::stoll(t.substr(1));
        }
        Ops tuned, expected;
        for (const std::string& op : g.rx->take())
            if (op.rfind("freq", 0) == 0)
                tuned.push_back(op);
        std::istringstream channels(c.tuned);
        for (int ch; channels >> ch;)
            expected.push_back(ch ? "freq " + std::to_string(420.0 + ch * 0.0125).substr(0, 8) + " 1"
                                  : "freq 0.0000 0");
        EXPECT_EQ(tuned, expected);
        EXPECT_EQ(g.owner.log.all(), c.log);
    }
}

TEST_F(Tracking, UnreadablePlanIsLoggedAndTriedAgain)
{
    int attempts = 0;
    tracker.setPlanSource([&](uint32_t) -> velkor::Result<velkor_channel_plan_s> {
        if (++attempts == 1)
            return velkor::fail("velkor.ini: Permission denied");
        return velkor_channel_plan_s{};
    });
    tracker.reportSystem(kSystem);
    EXPECT_EQ(tracker.systemParams(kSys), nullptr);
    EXPECT_EQ(owner.log.all(), Ops{"Couldn't read the channel plan of system 137: velkor.ini: Permission denied"});
    tracker.reportSystem(kSystem);
    EXPECT_NE(tracker.systemParams(kSys), nullptr);
}

// OBT rows: the control channel learned from the scanner's frequency (row 2), the call
// tuned on the 6.25 kHz row, End Call back to the learned channel.
TEST_F(Tracking, ObtRowsTuneBothWays)
{
    velkor_channel_plan_s plan;
    plan.band.rows = {{451.00625, 0.00625, 380, 499}, {453.0125, 0.0125, 500, 599}, {460.0, 0.025, 600, 759}};
    Rig g(plan);
    g.owner.settings.return_to_cc = true;
    g.owner.addUnit(kTarget, "T", true);
    g.rx->frequency = 453.0250;
    g.tracker.reportSystem(kSystem);
    g.tracker.reportCall(call(kTarget, kOrigin, 385));
    g.tracker.endCall();
    Ops tunings;
    std::copy_if(g.rx->ops.begin(), g.rx->ops.end(), std::back_inserter(tunings),
                 [](const std::string& op) { return op.rfind("freq", 0) == 0; });
    EXPECT_EQ(tunings, (Ops{"freq 451.0375 1", "freq 453.0250 1"}));
}

// The observer hears each followed call with its frequency (channel 8 of the default
// plan: 420.0 MHz + 8 x 12.5 kHz) and how it ended: clear-down, squelch, End Call.
TEST_F(Tracking, ObserverHearsHowEachFollowedCallEnds)
{
    struct Heard : CallObserver {
        void callFollowed(const velkor_call_s&, double mhz) override { log.push_back(std::to_string(mhz)); }
        void callLeft(const velkor_call_s&, CallLeft how) override { log.push_back(std::to_string(int(how))); }
        Ops log;
    } heard;
    tracker.setObserver(&heard);
    followMarked();
    tracker.clearCall(call({kSys, 0, 0}, {}, 8));
    followMarked();
    rx->squelchOpen = 0;
    ticks(4);
    tracker.clearCall(std::get<velkor_call_s>(self.posted.back().second));
    followMarked();
    tracker.endCall();
    EXPECT_EQ(heard.log, (Ops{"420.100000", "0", "420.100000", "1", "420.100000", "2"}));
}

} // namespace

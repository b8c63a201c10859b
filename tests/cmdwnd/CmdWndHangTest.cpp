// The command window with a scanner (or a rigctl server) that has stopped answering:
// every call it follows costs the receiver operations their time-outs, but the window
// goes on handling what the decoders post. Every log line arrives, in order, and the window is never held
// longer than the bound of the receiver operations of one command.
#include "TestOwner.h"
#include "cmdwnd/CCmdWnd.h"
#include "fixtures/FakeMixer.h"
#include "fixtures/RigctlServers.h"
#include "fixtures/ScannerSimulator.h"
#include "fixtures/WaitFor.h"
#include "receiver/CUniden250.h"
#include "receiver/RigctlReceiver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

using namespace velkor;

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kTimeoutMs = 60;

// A log list that notes when each line arrived.
class TimedLog : public MemoryLogList {
public:
    int append(const LogText& line) override
    {
        times.push_back(Clock::now());
        return MemoryLogList::append(line);
    }
    std::vector<Clock::time_point> times;
};

class TimedOwner : public TestOwner {
public:
    LogListView& logList() override { return timed; }
    TimedLog timed;
};

velkor_call_s call(uint32_t unit)
{
    velkor_call_s c;
    c.target = {137, 12, unit};
    c.origin = {137, 12, 900};
    c.channel = 17;
    return c;
}

velkor::SilentNotices quiet;

void decoderEventsGoOn(const char* what, std::unique_ptr<CReceiverCtrl> receiver)
{
    TimedOwner owner;
    owner.settings.follow_calls = true;
    owner.settings.scan_on_clear = true;
    owner.settings.backlight = true;
    owner.settings.mute = false;
    constexpr int kRounds = 8;
    for (uint32_t u = 1; u <= kRounds; ++u)
        owner.addUnit({137, 12, u}, "unit " + std::to_string(u), true);

    CCmdWnd wnd(owner, FakeMixer::none());
    wnd.tracker().setPlanSource([](uint32_t) { return velkor_channel_plan_s{}; });
    wnd.tracker().setReceiver(std::move(receiver));
    const size_t before = owner.timed.lines.size();

    // The decoders post from their own thread, as fast as they like: a marked call
    // (backlight and tuning on the silent scanner), a line, its clear-down (scanning
    // again) and another line, round after round.
    long longestPostUs = 0;
    std::thread decoders([&] {
        for (int i = 0; i < kRounds; ++i) {
            const auto start = Clock::now();
            wnd.post(CMDWND_REPORT_SYSTEM, velkor_address_s{137, 0, 0});
            wnd.post(CMDWND_REPORT_CALL, call(static_cast<uint32_t>(i + 1)));
            wnd.post(CMDWND_ADD_LOGSTR, LogText("call " + std::to_string(i)));
            wnd.post(CMDWND_CLEAR_CALL, call(static_cast<uint32_t>(i + 1)));
            wnd.post(CMDWND_ADD_LOGSTR, LogText("clear " + std::to_string(i)));
            longestPostUs = std::max<long>(
                longestPostUs, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
        }
    });

    std::vector<std::string> expected;
    for (int i = 0; i < kRounds; ++i) {
        expected.push_back("call " + std::to_string(i));
        expected.push_back("clear " + std::to_string(i));
    }
    const auto decoderLines = [&] {
        std::vector<std::string> got;
        for (const auto& l : owner.timed.lines)
            if (l.rfind("call ", 0) == 0 || l.rfind("clear ", 0) == 0)
                got.push_back(l);
        return got;
    };
    // Generous: every operation of every round timing out several times over.
    EXPECT_TRUE(waitFor(
        "every decoder line", [&] { return decoderLines().size() >= expected.size(); },
        [&] { return std::to_string(decoderLines().size()) + " lines"; },
        std::chrono::milliseconds(kRounds * 40 * kTimeoutMs + 5000)));
    decoders.join();
    EXPECT_EQ(decoderLines(), expected);

    // The longest stretch without a new line: the receiver operations of one command.
    long longestGapMs = 0;
    for (size_t i = before + 1; i < owner.timed.times.size(); ++i)
        longestGapMs = std::max<long>(
            longestGapMs,
            std::chrono::duration_cast<std::chrono::milliseconds>(owner.timed.times[i] - owner.timed.times[i - 1])
                .count());
    EXPECT_LT(longestGapMs, static_cast<long>(30 * kTimeoutMs + 1000));
    std::printf("%s, %d followed calls: longest wait between log lines %ld ms (%.1f time-outs), "
                "longest round of posting %ld us\n",
                what, kRounds, longestGapMs, static_cast<double>(longestGapMs) / kTimeoutMs, longestPostUs);
}

} // namespace

TEST(CmdWndHang, SilentScannerNeverStopsTheDecoderEvents)
{
    ScannerSimulator sim(ScannerFamily::Uniden250);
    sim.setBehaviour(ScannerBehaviour::Silent);
    decoderEventsGoOn("silent scanner",
                      std::make_unique<CUniden250>(sim.devicePath(), 250, 19200, 8, 0, 2, kTimeoutMs));
}

TEST(CmdWndHang, SilentRigctlServerNeverStopsTheDecoderEvents)
{
    rigtest::FakeRigctl server(rigtest::Misbehaviour::Silent);
    decoderEventsGoOn("silent rigctl server", std::make_unique<RigctlReceiver>(server.address(), quiet, kTimeoutMs));
}

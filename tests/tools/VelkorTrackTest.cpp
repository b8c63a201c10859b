// velkor-track as a user runs it: velkor.ini and addrbook.ini in the current directory,
// a recording of a control channel, the scanner on a serial port (a simulated one on
// a pseudo-terminal).
#include "addrbook/AddrBook.h"
#include "fixtures/CollectingNotices.h"
#include "fixtures/Process.h"
#include "fixtures/RigctlServers.h"
#include "fixtures/ScannerSimulator.h"
#include "fixtures/TrackerSetup.h"
#include "fixtures/WaitFor.h"
#include "signal/DemoScenario.h"
#include "signal/MotorolaGen.h"
#include "signal/Nrz.h"
#include "tools/MqttBroker.h"
#include "tools/PulseServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <thread>

using namespace velkor;

namespace {

using Texts = std::vector<std::string>;

using testsignal::contains;
using testsignal::splitLines;

// Whether needle appears in hay in this order (other elements between allowed).
bool inOrder(const Texts& hay, const Texts& needle)
{
    auto at = hay.begin();
    for (const auto& n : needle) {
        at = std::find(at, hay.end(), n);
        if (at == hay.end())
            return false;
        ++at;
    }
    return true;
}

// velkor-track started in dir, running until it is signalled; with waitStarted, once
// its start-up lines are out.
std::unique_ptr<testsignal::ToolProcess> startTrack(const std::string& dir, const std::vector<std::string>& args,
                                                    bool waitStarted = true)
{
    auto track =
        std::make_unique<testsignal::ToolProcess>(VELKOR_TRACK_PATH, args, testsignal::ProcessOptions{{}, dir, {}});
    if (waitStarted) {
        EXPECT_TRUE(waitFor(
            "the start-up lines", [&] { return track->out().find("Initialized and running.") != std::string::npos; },
            [&] { return track->out() + track->err(); }));
    }
    return track;
}

// The call of the recording as the log shows it, and its duration.
const Texts kCallLines = {"GTC  | Go To Channel Voice             | Ch:  17 (  1) Org:  200 Tar:  100 ",
                          "     | Call duration:    0m  1s        |",
                          "CLEAR| Call clear-down                 | Ch:  17 -> CCh:   1"};

// The tool's time-out for a process that should have ended at a signal long before.
constexpr std::chrono::seconds kEnd{60};

class VelkorTrack : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsignal::FfskOptions o;
        o.rate = 48000;
        o.leadSeconds = 0.01;
        o.tailSeconds = 0.2;
        auto samples = testsignal::ffsk(mptgen::demoControlChannel().bits, o);
        testsignal::addNoise(samples, 20.0, 3);
        testsignal::writeWav(dir.file("demo.wav"), testsignal::toPcm16(samples), o.rate);

        ASSERT_TRUE(writeTrackerSetup(dir, sim, notices));
    }

    // The address book velkor-track left behind.
    std::unique_ptr<AddrBook> saved() const
    {
        auto book = std::make_unique<AddrBook>(notices);
        EXPECT_TRUE(book->LoadData(dir.file("addrbook.ini")).ok());
        return book;
    }

    testsignal::TempDir dir;
    mutable CollectingNotices notices;
    ScannerSimulator sim{ScannerFamily::Uniden250};
};

TEST_F(VelkorTrack, FollowsTheCallOfARecordingAndSavesTheBook)
{
    const auto r = testsignal::runTool(VELKOR_TRACK_PATH, {"--input", "demo.wav"}, {}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const Texts lines = splitLines(r.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Line-In muting unavailable: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "Starting decoder thread.");
    EXPECT_EQ(lines[2], "Initialized and running.");
    EXPECT_TRUE(contains(lines, "Initialized Uniden 250/785 on serial port 1."));
    EXPECT_TRUE(inOrder(lines, kCallLines));
    // Every decoder line, the three start-up lines, the receiver and the duration.
    EXPECT_EQ(lines.size(), mptgen::kDemoLines + 5);

    EXPECT_TRUE(inOrder(sim.commands(),
                        {"SG", "PM005 01692000", "TA C 005 200 > Dispatch", "TA B A Fleet 1", "PM005 01690000"}));
    // The book was saved with the units heard (auto_add is on by default).
    const auto book = saved();
    EXPECT_NE(book->FindAddr({1, 1, 4321}), nullptr);
    EXPECT_EQ(book->IsAddrChecked({1, 1, 100}), 1);
}

// The same recording followed with Hamlib's dummy radio behind a real rigctld: tuned
// to the plan's traffic channel (169.0 MHz + (17 - 1) x 12.5 kHz) and, after the
// clear-down, back to the control channel 1 (169.0 MHz).
TEST_F(VelkorTrack, FollowsTheCallWithAHamlibRigctlServer)
{
    rigtest::Rigctld rigctld;
    ASSERT_TRUE(rigctld.ready()) << rigctld.error();
    testsignal::writeFile(dir.file("velkor.ini"),
                          "[tracking]\nreceiver_type=3\ncomport=0\nreturn_to_cc=1\n"
                          "[rigctl]\nserver=" +
                              rigctld.address() + "\n[systems]\nsysBase_1=1690000\nsysOffset_1=1\n");
    const auto r = testsignal::runTool(VELKOR_TRACK_PATH, {"--input", "demo.wav"}, {}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const Texts lines = splitLines(r.out);
    EXPECT_TRUE(contains(lines, "Initialized Hamlib rigctl on server " + rigctld.address() + ".")) << r.out;
    EXPECT_TRUE(inOrder(lines, kCallLines));
    EXPECT_EQ(rigctld.tunings(), (std::vector<double>{169.2, 169.0}));
    EXPECT_EQ(rigctld.frequencyHz(), 169000000);
    EXPECT_EQ(rigctld.rigctl("m"), "FM\n12500\n");
}

// A Motorola system 4660 (0x1234) granting group 500 on one channel, followed through
// Hamlib's dummy radio by the band plan that velkor.ini gives the system.
TEST_F(VelkorTrack, FollowsMotorolaGrantsByTheSystemsBandPlan)
{
    const std::string badPlan = "Bad band plan of system 4660, its calls are not followed: sysBandPlan_4660=801: "
                                "unknown band plan (800-standard, 800-splinter, 800-rebanded, 900 or obt)";
    const std::string notInPlan = "Couldn't tune receiver, channel 600 is not in the band plan of system 4660!";
    const struct {
        std::string systems;
        uint16_t channel;
        std::vector<double> tunings;
        std::string line;
    } cases[] = {
        {"sysBandPlan_4660=800-standard", 256, {857.4125}, "VCALL| Call to 500 from 700077 on channel 256"},
        {"sysBandPlan_4660=800-rebanded", 450, {851.2750}, "VCALL| Call to 500 from 700077 on channel 450"},
        {"sysBandPlan_4660=900", 100, {936.2625}, "VCALL| Call to 500 from 700077 on channel 100"},
        {"sysBandPlan_4660=800-rebanded", 600, {}, notInPlan},
        {"sysBase_4660=4500000", 400, {455.0}, "VCALL| Call to 500 from 500 on channel 400"},
        {"sysBandPlan_4660=801", 400, {}, badPlan},
    };
    AddrBook book{notices};
    book.EnsureAddr({4660, 1, 500})->entry.checked = true;
    ASSERT_TRUE(book.SaveData(dir.file("addrbook.ini")).ok());
    for (const auto& c : cases) {
        testsignal::NrzOptions o;
        o.gaussianBt = 0.5;
        o.leadSeconds = o.tailSeconds = 0.1;
        const auto air =
            motogen::stream(motogen::systemAnnouncement(0x1234, 0x2805) +
                            std::vector<motogen::Word>{{77, 0, 0x308}, {500, 0, c.channel}, {78, 0, 0x310}});
        testsignal::writeWav(dir.file("moto.wav"), testsignal::toPcm16(testsignal::nrz(air, o)), o.rate);
        rigtest::Rigctld rigctld;
        ASSERT_TRUE(rigctld.ready()) << rigctld.error();
        testsignal::writeFile(dir.file("velkor.ini"),
                              "[tracking]\nreceiver_type=3\n[rigctl]\nserver=" + rigctld.address() + "\n[systems]\n" +
                                  c.systems + "\n");
        const auto r = testsignal::runTool(VELKOR_TRACK_PATH, {"--input", "moto.wav"}, {}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(splitLines(r.out), c.line)) << c.systems << "\n" << r.out;
        EXPECT_EQ(rigctld.tunings(), c.tunings) << c.systems;
    }
}

// Which calls velkor-track follows with Hamlib's dummy radio: a recording of two grants
// (unit 105 on channel 3, then unit 102 on channel 5, both called by 200) and a
// clear-down, against books with lockout and priorities and a --hold. Channel n is
// 169.0 MHz + (n - 1) x 12.5 kHz; the clear-down returns to control channel 1.
TEST_F(VelkorTrack, LockoutPriorityAndHoldDecideWhatTheRadioFollows)
{
    mptgen::ControlChannel cc(0x0089, 32);
    cc.slot(mptgen::misc(0, 1));
    cc.slot(mptgen::goToChannel(1, 105, 200, 3));
    cc.slot(mptgen::goToChannel(1, 102, 200, 5));
    cc.slot(mptgen::clearDown(5, 1));
    testsignal::writeWav(dir.file("two.wav"), testsignal::toPcm16(testsignal::ffsk(cc.bits, 48000, 0.01)), 48000);
    constexpr int I = AddrEntry::kInherit;
    const struct {
        int lockout105, priority105, priority102;
        const char *hold, *decision; // the decision line after "     | "
        std::vector<double> tunings;
    } cases[] = {
        {1, I, I, "", "Locked out: 200 > Car 105", {169.05, 169.0}},
        {I, 5, 2, "", "Priority call 200 > Car 102 takes over from 200 > Car 105", {169.025, 169.05, 169.0}},
        {I, 2, 5, "", "", {169.025, 169.0}},
        {I, I, I, "1/1/102", "Held: 200 > Car 105 not followed, holding Car 102", {169.05, 169.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.decision);
        rigtest::Rigctld rigctld;
        ASSERT_TRUE(rigctld.ready()) << rigctld.error();
        testsignal::writeFile(dir.file("velkor.ini"),
                              "[tracking]\nreceiver_type=3\nauto_add=0\nreturn_to_cc=1\n[rigctl]\nserver=" +
                                  rigctld.address() + "\n[systems]\nsysBase_1=1690000\nsysOffset_1=1\n");
        AddrBook book{notices};
        for (const uint32_t unit : {105u, 102u}) {
            book.EnsureAddr({1, 1, unit})->entry = {std::to_string(unit), "Car " + std::to_string(unit), "", "", true};
        }
        book.SetRule(book.FindAddr({1, 1, 105}), c.lockout105, c.priority105);
        book.SetRule(book.FindAddr({1, 1, 102}), I, c.priority102);
        ASSERT_TRUE(book.SaveData(dir.file("addrbook.ini")).ok());
        std::vector<std::string> args = {"--input", "two.wav"};
        if (*c.hold)
            args.insert(args.end(), {"--hold", c.hold});
        const auto r = testsignal::runTool(VELKOR_TRACK_PATH, args, {}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(rigctld.tunings(), c.tunings) << r.out;
        EXPECT_EQ(r.out.find(std::string("     | ") + (*c.decision ? c.decision : "Priority")) != std::string::npos,
                  *c.decision != 0)
            << r.out;
    }
    const auto bad = testsignal::runTool(VELKOR_TRACK_PATH, {"--input", "two.wav", "--hold", "1/x"}, {}, dir.path());
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--hold \"1/x\" is not SYSTEM[/FLEET[/UNIT]]"), std::string::npos) << bad.err;
}

TEST_F(VelkorTrack, BadInputIsReportedWithoutCrash)
{
    testsignal::writeFile(dir.file("bad.wav"), "RIFF but not really");
    const auto r = testsignal::runTool(VELKOR_TRACK_PATH, {"--input", "bad.wav"}, {}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("velkor-track: "), std::string::npos) << r.err;
    // Shut down in order all the same: the book is saved.
    EXPECT_EQ(saved()->IsAddrChecked({1, 1, 100}), 1);
}

TEST_F(VelkorTrack, ASampleRateThatIsNoNumberIsBadInputNamingItsKey)
{
    testsignal::writeFile(dir.file("velkor.ini"), "[audio]\nsamplerate=abc\n");
    const auto r = testsignal::runTool(VELKOR_TRACK_PATH, {}, {}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "velkor-track: samplerate=abc in [audio] of velkor.ini is not a number\n");
}

TEST_F(VelkorTrack, AReaderThatGoesAwayEndsTheRunQuietly)
{
    // Through the shell: head reads one line and leaves; what is printed after that
    // finds the pipe closed.
    const std::string cmd = std::string(VELKOR_TRACK_PATH) + " --input demo.wav | head -n 1";
    const auto r = testsignal::runTool("/bin/sh", {"-c", cmd}, {}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_EQ(r.err.find("Error adding string"), std::string::npos) << r.err;
    EXPECT_EQ(saved()->IsAddrChecked({1, 1, 100}), 1);
}

TEST_F(VelkorTrack, SignalsShutDownInOrder)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        std::remove(dir.file("addrbook.ini").c_str());
        sim.clearReceived();
        const auto track = startTrack(dir.path(), {"--input", "demo.wav", "--realtime"});
        track->signal(sig);
        EXPECT_EQ(track->wait(kEnd), 0);
        // The recording lasts seconds at its own pace; the signal ended it early.
        EXPECT_FALSE(contains(splitLines(track->out()), "MOVE | Move to specified ControlChannel | -> CCh:   2"));
        EXPECT_EQ(saved()->CountNodes().systems, 1u);
    }
}

TEST_F(VelkorTrack, ExitsWithStatus1WhenTheBookCannotBeSaved)
{
    // A directory in the book's place can be neither read nor replaced.
    std::remove(dir.file("addrbook.ini").c_str());
    ASSERT_TRUE(std::filesystem::create_directories(dir.file("addrbook.ini") + "/x"));
    const auto r = testsignal::runTool(VELKOR_TRACK_PATH, {"--input", "demo.wav"}, {}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("velkor-track: Address book not saved: "), std::string::npos) << r.err;
}

// Live capture of the recording played into the server, with muting on and the
// scanner in the speakers through a loopback from the capture source to a second
// sink. Muting silences the loopback only: the decoders hear everything, and the
// source is never muted, whichever mixer is asked.
TEST_F(VelkorTrack, MutingNeverSilencesTheDecoders)
{
    testsignal::PulseServer server;
    if (!server.ready())
        GTEST_SKIP() << "no PulseAudio server could be started";
    ASSERT_FALSE(server.load({"module-null-sink", "sink_name=speakers"}).empty());
    const std::string speakers = server.load({"module-loopback", "source=velkor_null.monitor", "sink=speakers"});
    ASSERT_FALSE(speakers.empty());
    const auto fromFile = testsignal::runTool(VELKOR_TRACK_PATH, {"--input", "demo.wav"}, {}, dir.path());
    auto decoderLines = [](const std::string& out) {
        Texts lines;
        for (const std::string& l : splitLines(out))
            if (l.size() > 5 && l[5] == '|' && l.rfind("     |", 0) != 0)
                lines.push_back(l);
        return lines;
    };
    ASSERT_EQ(decoderLines(fromFile.out).size(), mptgen::kDemoLines);
    // Played with a second of silence first: a capture stream that has only just begun
    // to deliver on a loaded machine must not cost the first codeword.
    testsignal::FfskOptions o;
    o.leadSeconds = 1.0;
    o.tailSeconds = 0.2;
    auto live = testsignal::ffsk(mptgen::demoControlChannel().bits, o);
    testsignal::addNoise(live, 20.0, 3);
    testsignal::writeWav(dir.file("live.wav"), testsignal::toPcm16(live), o.rate);

    const struct {
        std::vector<std::string> args;
        bool loopbackMuted; // seen muted while the data plays
        const char* firstLine;
    } cases[] = {
        {{}, true, "Starting decoder thread."},
        // The capture element of the server's ALSA mixer is the decoders' own input.
        {{"--line-element", "Capture"}, false, "Line-In muting unavailable: Couldn't get Volume mixerControl! "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstLine);
        const auto track = startTrack(dir.path(), c.args);
        bool sourceMuted = false, loopbackMuted = false;
        std::thread play([&] { testsignal::runTool("/usr/bin/paplay", {dir.file("live.wav")}); });
        // Until the last line of the recording is decoded.
        EXPECT_TRUE(waitFor(
            "every line of the recording",
            [&] {
                sourceMuted |= server.sourceMute() != "Mute: no\n";
                loopbackMuted |= server.moduleMuted(speakers) == "yes";
                return decoderLines(track->out()).size() >= mptgen::kDemoLines;
            },
            [&] { return track->out(); }));
        play.join();
        track->signal(SIGTERM);
        EXPECT_EQ(track->wait(kEnd), 0);
        const std::string printed = track->out();
        EXPECT_EQ(printed.rfind(c.firstLine, 0), 0u) << printed;
        EXPECT_EQ(decoderLines(printed), decoderLines(fromFile.out));
        EXPECT_FALSE(sourceMuted);
        EXPECT_EQ(loopbackMuted, c.loopbackMuted);
        EXPECT_EQ(server.moduleMuted(speakers), "no"); // unmuted at the end
    }
}

// A sound server that has stopped (SIGSTOP) before velkor-track starts, or while it
// captures: start-up and SIGTERM each take about a second, not minutes, and the book
// is saved.
TEST_F(VelkorTrack, StoppedSoundServerHoldsNothingUp)
{
    testsignal::PulseServer server;
    if (!server.ready())
        GTEST_SKIP() << "no PulseAudio server could be started";
    ASSERT_FALSE(server.load({"module-null-sink", "sink_name=speakers"}).empty());
    ASSERT_FALSE(server.load({"module-loopback", "source=velkor_null.monitor", "sink=speakers"}).empty());
    using Clock = std::chrono::steady_clock;
    for (const bool stopBeforeStart : {true, false}) {
        SCOPED_TRACE(stopBeforeStart ? "stopped before start-up" : "stopped while capturing");
        std::remove(dir.file("addrbook.ini").c_str());
        if (stopBeforeStart)
            server.pause();
        const auto started = Clock::now();
        // The bounds are the behaviour, with room for a loaded machine and sanitizers:
        // the time-outs are under a second each; without them it takes minutes.
        const auto track = startTrack(dir.path(), {});
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(10)) << track->out();
        if (!stopBeforeStart)
            server.pause();
        const auto terminated = Clock::now();
        track->signal(SIGTERM);
        EXPECT_EQ(track->wait(kEnd), 0);
        EXPECT_LT(Clock::now() - terminated, std::chrono::seconds(10));
        server.resume();
        saved();
    }
}

// The one file of the daily kind (prefix) in dir/logs.
std::string dailyFile(const std::string& dir, const std::string& prefix)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir + "/logs", ec))
        if (e.path().filename().string().rfind(prefix, 0) == 0)
            return e.path().string();
    return {};
}

TEST_F(VelkorTrack, PublishesNamedEventsAndWritesTheDailyFiles)
{
    testsignal::MqttBroker broker;
    ASSERT_TRUE(broker.ready())
        << "no mosquitto broker could be started (Debian packages mosquitto, mosquitto-clients)";
    testsignal::MqttSubscriber sub(broker, "velkor/#");
    ASSERT_TRUE(sub.subscribed());
    const auto r = testsignal::runTool(
        VELKOR_TRACK_PATH, {"--input", "demo.wav", "--log-dir", "logs", "--mqtt", broker.address()}, {}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;

    const Texts events = splitLines(testsignal::readFile(dailyFile(dir.path(), "velkor-")));
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const std::string& e) { return e.rfind(R"({"cmd":"ADD_LOGSTR")", 0) == 0; }),
              static_cast<long>(mptgen::kDemoLines));
    // The call, with the names the book gives its parties.
    const std::string call = R"({"cmd":"REPORT_CALL","type":0,"target":{"system":1,"fleet":1,"unit":100},)"
                             R"("origin":{"system":1,"fleet":1,"unit":200},"control_channel":1,"channel":17,"time":")";
    const auto grant =
        std::find_if(events.begin(), events.end(), [&](const std::string& e) { return e.rfind(call, 0) == 0; });
    ASSERT_NE(grant, events.end());
    EXPECT_NE(grant->find(R"(,"protocol":"mpt1327","names":{"target":{"system":"New System","fleet":"Fleet 1",)"
                          R"("unit":"Dispatch"},"origin":{"system":"New System","fleet":"Fleet 1","unit":"200"}}})"),
              std::string::npos)
        << *grant;

    // The broker got the same events, in the same order.
    ASSERT_TRUE(sub.waitForLine("velkor/status offline", std::chrono::seconds(10)));
    Texts published;
    for (const auto& m : sub.lines())
        if (m.rfind("velkor/status ", 0) != 0)
            published.push_back(m.substr(m.find(' ') + 1));
    EXPECT_EQ(published, events);

    // One call, followed on 169.2 MHz (the plan: 169.0 MHz for channel 1, 12.5 kHz apart).
    const Texts calls = splitLines(testsignal::readFile(dailyFile(dir.path(), "calls-")));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0],
              "start,end,duration,protocol,system,target,origin,system_name,target_name,origin_name,"
              "channel,frequency,followed,recording\r");
    EXPECT_NE(calls[1].find(",mpt1327,1,1/100,1/200,New System,Fleet 1 / Dispatch,Fleet 1 / 200,17,169.2000,yes,\r"),
              std::string::npos)
        << calls[1];
}

TEST_F(VelkorTrack, AKilledTrackerLeavesEveryCompletedLineOfItsDailyFiles)
{
    const auto track = startTrack(dir.path(), {"--input", "demo.wav", "--realtime", "--log-dir", "logs"}, false);
    // Killed in the middle of the recording, once the call is over.
    const bool callWritten = waitFor(
        "the call's row in the calls file",
        [&] { return splitLines(testsignal::readFile(dailyFile(dir.path(), "calls-"))).size() == 2; },
        [&] { return testsignal::readFile(dailyFile(dir.path(), "calls-")); });
    track->signal(SIGKILL);
    EXPECT_EQ(track->wait(kEnd), 128 + SIGKILL);
    ASSERT_TRUE(callWritten);
    EXPECT_FALSE(contains(splitLines(track->out()), "MOVE | Move to specified ControlChannel | -> CCh:   2"));
    const std::string text = testsignal::readFile(dailyFile(dir.path(), "velkor-"));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const Texts events = splitLines(text);
    for (const auto& e : events)
        EXPECT_TRUE(e.rfind(R"({"cmd":")", 0) == 0 && e.back() == '}') << e;
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const std::string& e) {
        return e.find(R"("text":"GTC  | Go To Channel Voice)") != std::string::npos;
    }));
}

TEST_F(VelkorTrack, ALogDirThatCannotBeWrittenStopsTheStartBeforeTheBook)
{
    testsignal::writeFile(dir.file("plain"), "a file, not a directory");
    std::remove(dir.file("addrbook.ini").c_str());
    const auto r =
        testsignal::runTool(VELKOR_TRACK_PATH, {"--input", "demo.wav", "--log-dir", "plain/logs"}, {}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("velkor-track: --log-dir: cannot create the log directory plain/logs: "), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("addrbook.ini")));
}

// A control channel with calls of unit 100 on channel 17, one after another: each
// lasts kCallSlots slots (0.16 s each) from the end of its go-to-channel to the end of
// its clear-down, the last lastSlots.
constexpr int kCallSlots = 19;

std::vector<int16_t> callsOn17(int calls = 1, int lastSlots = kCallSlots)
{
    mptgen::ControlChannel cc(0x0089, 32);
    cc.slot(mptgen::misc(0, 1)); // MARK: control channel 1
    for (int call = 0; call < calls; ++call) {
        for (int i = 0; i < 6; ++i)
            cc.slot(cc.aloha());
        cc.slot(mptgen::goToChannel(1, 100, 200, 17));
        for (int i = 1; i < (call + 1 < calls ? kCallSlots : lastSlots); ++i)
            cc.slot(cc.aloha());
        cc.slot(mptgen::clearDown(17, 1));
    }
    cc.slot(cc.aloha());
    testsignal::FfskOptions o;
    o.rate = 48000;
    o.leadSeconds = 0.01;
    o.tailSeconds = 0.2;
    auto samples = testsignal::ffsk(cc.bits, o);
    testsignal::addNoise(samples, 20.0, 3);
    return testsignal::toPcm16(samples);
}

// Every file under dir whose name ends in suffix.
std::vector<std::filesystem::path> filesEndingIn(const std::string& dir, const std::string& suffix)
{
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.push_back(e.path());
    }
    return found;
}

// velkor-track following callsOn17() with Hamlib's dummy radio behind a real rigctld.
class VelkorTrackRecording : public VelkorTrack {
protected:
    void SetUp() override
    {
        VelkorTrack::SetUp();
        ASSERT_TRUE(rigctld.ready()) << rigctld.error();
        testsignal::writeFile(dir.file("velkor.ini"),
                              "[tracking]\nreceiver_type=3\ncomport=0\nreturn_to_cc=1\n[rigctl]\nserver=" +
                                  rigctld.address() + "\n[systems]\nsysBase_1=1690000\nsysOffset_1=1\n");
        testsignal::writeWav(dir.file("call.wav"), callsOn17(), 48000);
    }
    rigtest::Rigctld rigctld;
};

// The followed call paced as live audio, with Hamlib's dummy radio: one FLAC as long as
// the time from tuning to the clear-down, its JSON, the calls file's row naming it and
// the event on the broker.
TEST_F(VelkorTrackRecording, RecordsTheFollowedCall)
{
    testsignal::MqttBroker broker;
    ASSERT_TRUE(broker.ready()) << "no mosquitto broker could be started";
    testsignal::MqttSubscriber sub(broker, "velkor/call_recorded");
    ASSERT_TRUE(sub.subscribed());
    const auto r = testsignal::runTool(
        VELKOR_TRACK_PATH,
        {"--input", "call.wav", "--realtime", "--record-dir", "rec", "--log-dir", "logs", "--mqtt", broker.address()},
        {}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto flacs = filesEndingIn(dir.file("rec"), ".flac");
    ASSERT_EQ(flacs.size(), 1u) << r.out;
    EXPECT_TRUE(filesEndingIn(dir.file("rec"), ".part").empty());
    SF_INFO info{};
    sf_close(sf_open(flacs[0].c_str(), SFM_READ, &info));
    EXPECT_NEAR(static_cast<double>(info.frames) / 48000, kCallSlots * 0.16, 0.2);
    const std::string stem = flacs[0].stem().string();
    EXPECT_EQ(stem.substr(6), "-1-1-100");
    const std::string jsonText = testsignal::readFile((flacs[0].parent_path() / (stem + ".json")).string());
    const auto j = nlohmann::json::parse(jsonText);
    EXPECT_EQ(j["freq"], 169200000);
    EXPECT_EQ(j["ended"], "cleardown");
    const std::string relative = flacs[0].parent_path().filename().string() + "/" + stem + ".flac";
    const Texts calls = splitLines(testsignal::readFile(dailyFile(dir.path(), "calls-")));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].substr(calls[0].size() - 19), "followed,recording\r");
    EXPECT_NE(calls[1].find(",17,169.2000,yes," + relative + "\r"), std::string::npos) << calls[1];
    ASSERT_FALSE(jsonText.empty());
    const std::string event = R"({"cmd":"CALL_RECORDED",)" + jsonText.substr(1, jsonText.size() - 2);
    EXPECT_TRUE(sub.waitForLine("velkor/call_recorded " + event, std::chrono::seconds(10)));
}

// Killed while the second call is being recorded: the first call's recording is whole,
// and nothing else that looks complete is left, only the second call's .part file.
TEST_F(VelkorTrackRecording, AKillDuringACallLeavesOnlyItsPartFileAndEarlierRecordingsWhole)
{
    testsignal::writeWav(dir.file("calls.wav"), callsOn17(2, 150), 48000);
    const auto track = startTrack(dir.path(), {"--input", "calls.wav", "--realtime", "--record-dir", "rec"}, false);
    const bool recording = waitFor(
        "the first call recorded and the second's .part file",
        [&] {
            return filesEndingIn(dir.file("rec"), ".json").size() == 1 &&
                filesEndingIn(dir.file("rec"), ".flac.part").size() == 1;
        },
        [&] { return track->out(); });
    track->signal(SIGKILL);
    EXPECT_EQ(track->wait(kEnd), 128 + SIGKILL);
    ASSERT_TRUE(recording);
    const auto flacs = filesEndingIn(dir.file("rec"), ".flac");
    ASSERT_EQ(flacs.size(), 1u);
    SF_INFO info{};
    sf_close(sf_open(flacs[0].c_str(), SFM_READ, &info));
    EXPECT_NEAR(static_cast<double>(info.frames) / 48000, kCallSlots * 0.16, 0.2);
    const auto parts = filesEndingIn(dir.file("rec"), ".part");
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_NE(parts[0].stem().stem(), flacs[0].stem());
}

// A record folder that cannot be written, or a full disk (a file-size limit stands in
// for it): one line, the call followed and logged all the same, nothing recorded.
TEST_F(VelkorTrackRecording, ARecordFolderThatFailsCostsTheRecordingOnly)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    // A file where the day's folder goes; a file-size limit (prlimit --fsize) for a full disk.
    for (const bool full : {false, true}) {
        std::filesystem::remove_all(dir.file("rec"));
        std::filesystem::create_directories(dir.file("rec"));
        if (!full)
            testsignal::writeFile(dir.file("rec/") + day, "a file where the day's folder goes");
        std::vector<std::string> args{"--input", "call.wav", "--realtime", "--record-dir", "rec"};
        std::string program = VELKOR_TRACK_PATH;
        if (full) {
            args.insert(args.begin(), {"--fsize=16384", program});
            program = testsignal::findProgram("prlimit");
        }
        const auto r = testsignal::runTool(program, args, {}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        // Ours: one line (the sound server's client library may add its own notes).
        const auto lines = splitLines(r.err);
        EXPECT_EQ(
            std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.rfind("velkor-track:", 0) == 0; }),
            1)
            << r.err;
        EXPECT_NE(r.err.find(std::string("velkor-track: Recording of the call dropped: ") +
                             (full ? "cannot write " : "cannot create ")),
                  std::string::npos)
            << r.err;
        EXPECT_TRUE(contains(splitLines(r.out), "CLEAR| Call clear-down                 | Ch:  17 -> CCh:   1"))
            << r.out;
        EXPECT_TRUE(filesEndingIn(dir.file("rec"), ".flac").empty());
        EXPECT_TRUE(filesEndingIn(dir.file("rec"), ".part").empty());
    }
}

} // namespace

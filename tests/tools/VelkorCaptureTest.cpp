// velkor-decode --capture end to end: a recording played into the audio server's null
// sink is captured from its monitor, the default source, and must decode exactly as
// the file does. Needs the PulseAudio server that ./test.sh starts (PULSE_SERVER); run
// elsewhere, the tests that need it are skipped, unless VELKOR_AUDIO_SERVER=1 says the
// server must be there.
#include "fixtures/WaitFor.h"
#include "signal/BankScenario.h"
#include "tools/PulseServer.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>

using namespace testsignal;
using namespace std::chrono_literals;

namespace {

const std::string kTool = VELKOR_DECODE_PATH;

// Empty when the test server is there, else why not.
std::string audioServerMissing()
{
    const char* server = std::getenv("PULSE_SERVER");
    if (!server || !*server)
        return "no audio server for the test (PULSE_SERVER is not set; ./test.sh starts one)";
    const std::string pactl = findProgram("pactl");
    if (pactl.empty() || findProgram("paplay").empty())
        return "pactl or paplay not installed (Debian package pulseaudio-utils)";
    if (runToolWithEnv(pactl, {"info"}, {}, 10s).status != 0)
        return std::string("the audio server at ") + server + " does not answer";
    return {};
}

#define REQUIRE_AUDIO_SERVER()                                                                                         \
    do {                                                                                                               \
        const std::string missing = audioServerMissing();                                                              \
        if (!missing.empty()) {                                                                                        \
            const char* required = std::getenv("VELKOR_AUDIO_SERVER");                                                 \
            if (required && std::string(required) == "1")                                                              \
                FAIL() << missing;                                                                                     \
            GTEST_SKIP() << missing;                                                                                   \
        }                                                                                                              \
    } while (0)

size_t lineCount(const std::string& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

const std::regex kTimeField(R"(,"time":"[^"]*")");

// The lines of the output without their times (which differ between the file and
// its capture), optionally without the mute events.
std::vector<std::string> eventLines(const std::string& text, bool withMutes = true)
{
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(text))
        if (withMutes || line.find("MUTE\",") == std::string::npos)
            lines.push_back(std::regex_replace(line, kTimeField, ""));
    return lines;
}

// Milliseconds since the epoch of each line's "time", read by hand; mutes left out.
std::vector<double> lineTimes(const std::string& text)
{
    std::vector<double> times;
    for (const std::string& line : splitLines(text)) {
        const size_t at = line.find("\"time\":\"");
        std::tm tm{};
        int ms = 0;
        if (line.find("MUTE\",") != std::string::npos || at == std::string::npos ||
            std::sscanf(line.c_str() + at + 8, "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                        &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ms) != 7)
            continue;
        tm.tm_year -= 1900;
        tm.tm_mon -= 1;
        times.push_back(static_cast<double>(timegm(&tm)) * 1000.0 + ms);
    }
    return times;
}

TEST(VelkorCapture, PlayedRecordingDecodesAsTheFileDoes)
{
    REQUIRE_AUDIO_SERVER();
    TempDir dir;
    const int rate = 48000;
    const std::string wav = dir.file("bank.wav");
    writeWav(wav, bankRecording(rate), rate);
    // The file's times are then simply the places in it.
    const auto fromFile = runTool(kTool, {"--events", "--start-time", "1970-01-01T00:00:00Z", wav});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    for (const char* expected : {"\"SYSAN| System 0x05A5", "\"CCSC | Control Channel", "\"CTIND| Calling",
                                 "\"cmd\":\"REPORT_CALL\"", "\"cmd\":\"MUTE\"", "\"cmd\":\"UNMUTE\""})
        ASSERT_NE(fromFile.out.find(expected), std::string::npos) << expected;

    ToolProcess capture(kTool, {"--capture", "--events"});
    ASSERT_TRUE(capture.waitForErr("capturing from", 15s)) << capture.err();
    const double playStart =
        std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
    const auto played = runTool(findProgram("paplay"), {wav});
    ASSERT_EQ(played.status, 0) << played.err;
    const double playEnd =
        std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
    // paplay returns once the server has played the last sample; the capture path
    // (monitor, ALSA plugin, one block) delivers it a little later.
    EXPECT_TRUE(waitFor(
        "as many events as the file gives", [&] { return lineCount(capture.out()) >= lineCount(fromFile.out); },
        [&] { return capture.out(); }));
    capture.signal(SIGINT);
    EXPECT_EQ(capture.wait(10s), 0) << capture.err();
    // Capture starts at no particular sample, so the blocks fall elsewhere in the
    // audio than they do in the file. Each decoder's events are the same either way;
    // only a MUTE of one decoder and an UNMUTE of another in the same block may trade
    // places.
    const auto captured = capture.out();
    EXPECT_EQ(eventLines(captured, false), eventLines(fromFile.out, false));
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sorted(eventLines(captured)), sorted(eventLines(fromFile.out)));
    EXPECT_EQ(lineCount(capture.err()), 1u) << capture.err();

    // Live events are stamped with their capture time: within the time the recording
    // played, and each the same distance from its place in the file, give or take the
    // audio server's delivery in chunks (a few blocks).
    const auto live = lineTimes(captured);
    const auto places = lineTimes(fromFile.out);
    ASSERT_EQ(live.size(), places.size());
    ASSERT_FALSE(live.empty());
    double low = 1e300, high = -1e300;
    for (size_t i = 0; i < live.size(); ++i) {
        EXPECT_GE(live[i], playStart - 1000.0) << i;
        EXPECT_LE(live[i], playEnd + 1000.0) << i;
        low = std::min(low, live[i] - places[i]);
        high = std::max(high, live[i] - places[i]);
    }
    EXPECT_LE(high - low, 150.0) << "capture times stray from the audio's own pace";
}

TEST(VelkorCapture, TermStopsItCleanlyAndSilenceDecodesToNothing)
{
    REQUIRE_AUDIO_SERVER();
    ToolProcess capture(kTool, {"--capture", "--device", "default", "--rate", "22050"});
    ASSERT_TRUE(capture.waitForErr("capturing from \"default\" at 22050 Hz", 15s)) << capture.err();
    // Half a second of silence played through the monitor it captures.
    TempDir dir;
    writeWav(dir.file("silence.wav"), std::vector<int16_t>(11025), 22050);
    ASSERT_EQ(runTool(findProgram("paplay"), {dir.file("silence.wav")}).status, 0);
    capture.signal(SIGTERM);
    EXPECT_EQ(capture.wait(10s), 0) << capture.err();
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(lineCount(capture.err()), 1u) << capture.err();
}

TEST(VelkorCapture, ListsTheServersDevicesAndRefusesAnUnknownOne)
{
    REQUIRE_AUDIO_SERVER();
    const auto list = runToolWithEnv(kTool, {"--list-devices"}, {});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("default ("), std::string::npos) << list.out;
    EXPECT_EQ(list.err, "");

    const auto unknown = runToolWithEnv(kTool, {"--capture", "--device", "velkor-no-such-device"}, {});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("no capture device named \"velkor-no-such-device\""), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("\"default\""), std::string::npos) << unknown.err;
    EXPECT_EQ(lineCount(unknown.err), 1u) << unknown.err;
    EXPECT_EQ(unknown.out, "");
}

TEST(VelkorCapture, StopsAtOnceWhenTheDeviceDeliversNothing)
{
    REQUIRE_AUDIO_SERVER();
    PulseServer server;
    ASSERT_TRUE(server.ready()) << "no private PulseAudio server could be started";
    // A suspended sink, and with it its monitor, hands out no samples at all.
    const auto suspended = server.pactl({"suspend-sink", "velkor_null", "1"});
    ASSERT_EQ(suspended.status, 0) << suspended.out << suspended.err;
    ToolProcess capture(kTool, {"--capture", "--events"});
    ASSERT_TRUE(capture.waitForErr("capturing from", 15s)) << capture.err();
    // Stopped while its stream is connected to the suspended source.
    EXPECT_TRUE(waitFor("the capture stream at the server", [&] {
        return !server.pactl({"list", "short", "source-outputs"}).out.empty();
    }));
    capture.signal(SIGINT);
    // The limit only keeps a hang from stalling the suite; stopping takes milliseconds.
    EXPECT_EQ(capture.wait(10s), 0) << capture.err();
    EXPECT_EQ(capture.out(), "");
}

TEST(VelkorCapture, AServerThatGoesAwayEndsCaptureWithAnError)
{
    REQUIRE_AUDIO_SERVER();
    PulseServer server;
    ASSERT_TRUE(server.ready()) << "no private PulseAudio server could be started";
    ToolProcess capture(kTool, {"--capture"});
    ASSERT_TRUE(capture.waitForErr("capturing from", 15s)) << capture.err();
    const auto stopped = server.stop();
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    // PortAudio either ends the stream, or keeps its thread polling the dead
    // connection without ever calling back; then the capture ends after a few seconds
    // without audio. Either way: one message of ours, exit status 2.
    EXPECT_EQ(capture.wait(30s), 2) << capture.err().substr(0, 2000);
    // PortAudio reports the dead connection on standard error too, possibly at length,
    // and its polling thread may still be writing after our message: ours need not be
    // the last line.
    const std::string err = capture.errTail();
    EXPECT_NE(err.find("velkor-decode: capture from \"default\" stopped: "), std::string::npos) << err.substr(0, 2000);
}

TEST(VelkorCapture, NoAudioServerIsAClearError)
{
    // A server address where nothing listens; this machine has no sound card of its
    // own, so there is nothing to capture from.
    const std::map<std::string, std::string> env = {{"PULSE_SERVER", "unix:/nonexistent/velkor/native"}};
    const auto list = runToolWithEnv(kTool, {"--list-devices"}, env);
    if (list.status == 0)
        GTEST_SKIP() << "this machine has capture devices of its own: " << list.out;

    EXPECT_EQ(list.status, 2);
    EXPECT_EQ(list.err, "velkor-decode: no capture devices found (no sound card, or no audio server running)\n");
    const auto capture = runToolWithEnv(kTool, {"--capture"}, env);
    EXPECT_EQ(capture.status, 2);
    EXPECT_EQ(capture.err, "velkor-decode: no capture device found (no sound card, or no audio server running)\n");
    EXPECT_EQ(capture.out, "");
}

} // namespace

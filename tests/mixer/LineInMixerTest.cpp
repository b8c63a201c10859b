// The Line-In mixer against a real PulseAudio server with a null sink whose monitor is
// the default source (the source the decoders record): on ALSA's simple mixer (the
// server's ALSA plugin shows "Master" and "Capture") and on the server itself, where
// the Line-In is the loopback that plays the source to a second sink, the speakers.
// Whatever is muted, the source never is; and a server that has stopped never holds
// the caller for longer than the time-out.
#include "mixer/LineInMixer.h"
#include "fixtures/WaitFor.h"
#include "mixer/AlsaMixerBackend.h"
#include "mixer/DefaultMixerBackend.h"
#include "mixer/PulseMixerBackend.h"
#include "notify/Notices.h"
#include "tools/PulseServer.h"

#include <gtest/gtest.h>

#include <pulse/simple.h>

#include <functional>

using namespace velkor;

namespace {

using namespace std::chrono_literals;

velkor::SilentNotices quiet;

class Mixer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new testsignal::PulseServer; } // one server for the suite
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        if (!server->ready())
            GTEST_SKIP() << "no PulseAudio server could be started";
        if (server->pactl({"list", "short", "sinks"}).out.find("speakers") == std::string::npos)
            server->load({"module-null-sink", "sink_name=speakers"});
    }
    void TearDown() override
    {
        for (const std::string& m : modules)
            server->pactl({"unload-module", m});
        server->pactl({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
        server->pactl({"set-sink-mute", "@DEFAULT_SINK@", "0"});
    }
    // The scanner in the speakers: a loopback from source to the speakers.
    std::string loopback(const std::string& source = "velkor_null.monitor")
    {
        modules.push_back(server->load({"module-loopback", "source=" + source, "sink=speakers"}));
        return modules.back();
    }
    static testsignal::PulseServer* server;
    std::vector<std::string> modules;
};
testsignal::PulseServer* Mixer::server = nullptr;

std::string mixerError(const std::function<std::unique_ptr<MixerBackend>()>& make)
{
    try {
        LineInMixer mixer(make(), quiet);
    } catch (const MixerError& e) {
        return e.what() + (e.detail().empty() ? std::string() : " (" + e.detail() + ")");
    }
    return "opened";
}

TEST_F(Mixer, AlsaMutesOnlyAPlaybackElement)
{
    // A capture element is the decoders' own input: it is found, and refused.
    EXPECT_EQ(mixerError([] { return std::make_unique<AlsaMixerBackend>("default", "Capture", "Capture"); }),
              "Couldn't get Volume mixerControl! (element Capture of mixer default has no playback switch or volume; "
              "a capture control is the decoders' own input and is never muted)");
    EXPECT_EQ(server->sourceMute(), "Mute: no\n");
    EXPECT_EQ(mixerError([] { return std::make_unique<AlsaMixerBackend>(); }), "Couldn't get Line-In mixerComponent!");
    EXPECT_EQ(mixerError([] {
                  return std::make_unique<AlsaMixerBackend>("hw:97");
              }).rfind("Couldn't open mixer hw:97: attach: ", 0),
              0u);

    // Without a Line element, the "Mic" fall-back on a playback element.
    LineInMixer mixer(std::make_unique<AlsaMixerBackend>("default", "No Such Line", "Master"), quiet);
    EXPECT_EQ(mixer.line(), MixerBackend::Line::Microphone);
    mixer.SetMuted(true);
    EXPECT_EQ(server->sinkMute("@DEFAULT_SINK@"), "Mute: yes\n");
    mixer.Unmute();
    EXPECT_EQ(server->sinkMute("@DEFAULT_SINK@"), "Mute: no\n");
    EXPECT_EQ(server->sourceMute(), "Mute: no\n");
}

TEST_F(Mixer, ServerMutesTheLoopbackOfTheDecodedSourceOnly)
{
    const std::string speakers = loopback();
    // Neither a stream that plays something else (a test tone) nor a loopback of
    // another source is the scanner in the speakers.
    modules.push_back(server->load({"module-sine", "sink=speakers"}));
    const std::string tone = modules.back();
    const std::string other = loopback("speakers.monitor");

    LineInMixer mixer(std::make_unique<PulseMixerBackend>(), quiet);
    EXPECT_EQ(mixer.line(), MixerBackend::Line::LineIn);
    EXPECT_EQ(mixer.control(), MixerBackend::Control::MuteSwitch);
    for (const bool muted : {true, false, true, false}) {
        mixer.SetMuted(muted);
        EXPECT_TRUE(waitFor(
            muted ? "the loopback muted" : "the loopback unmuted",
            [&] { return server->moduleMuted(speakers) == (muted ? "yes" : "no"); },
            [&] { return server->moduleMuted(speakers); }));
        EXPECT_EQ(server->moduleMuted(tone), "no");
        EXPECT_EQ(server->moduleMuted(other), "no");
        EXPECT_EQ(server->sourceMute(), "Mute: no\n");
    }
    // The last request reaches the server before Close() returns.
    mixer.SetMuted(true);
    mixer.Close();
    EXPECT_EQ(server->moduleMuted(speakers), "yes");
    mixer.SetMuted(false); // closed: nothing happens
    EXPECT_EQ(server->moduleMuted(speakers), "yes");
}

TEST_F(Mixer, ServerFollowsTheSourceThisProcessRecords)
{
    // velkor records the scanner from another source than the default: it is that
    // source's loopback that plays the scanner.
    modules.push_back(server->load({"module-null-sink", "sink_name=scanner"}));
    const std::string scanner = loopback("scanner.monitor");
    const std::string defaultSource = loopback();
    pa_sample_spec format{PA_SAMPLE_S16LE, 48000, 1};
    pa_simple* capture = pa_simple_new(nullptr, "velkor test", PA_STREAM_RECORD, "scanner.monitor", "capture", &format,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(capture, nullptr);
    LineInMixer mixer(std::make_unique<PulseMixerBackend>(), quiet);
    mixer.SetMuted(true);
    EXPECT_TRUE(waitFor("the scanner's loopback muted", [&] { return server->moduleMuted(scanner) == "yes"; }));
    EXPECT_EQ(server->moduleMuted(defaultSource), "no");
    mixer.Unmute();
    EXPECT_TRUE(waitFor("the scanner's loopback unmuted", [&] { return server->moduleMuted(scanner) == "no"; }));
    mixer.Close();
    pa_simple_free(capture);
}

TEST_F(Mixer, ServerWithoutPlaybackOfTheSourceSaysSo)
{
    EXPECT_EQ(mixerError([] { return std::make_unique<PulseMixerBackend>(); }),
              "Couldn't get Line-In mixerComponent! (nothing on the sound server plays source velkor_null.monitor to a "
              "sink; the source itself is never muted)");
}

TEST_F(Mixer, StoppedServerNeverHoldsTheCaller)
{
    loopback();
    const struct {
        const char* name;
        std::function<std::unique_ptr<MixerBackend>()> make;
        const char* error;
    } cases[] = {
        {"sound server", [] { return std::make_unique<PulseMixerBackend>(); },
         "Couldn't reach the sound server: the sound server does not answer"},
        {"system's choice", [] { return std::make_unique<DefaultMixerBackend>(); },
         "Couldn't reach the sound server: the sound server does not answer"},
        {"ALSA", [] { return std::make_unique<AlsaMixerBackend>(); },
         "Couldn't open mixer default: no answer within 800 ms (a sound server that has stopped?)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server->pause();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(mixerError(c.make), c.error);
        // The bound is the behaviour: the time-out, with room for a loaded machine;
        // without it the caller waits half a minute.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        server->resume();
    }
}

TEST(MixerWithoutServer, TheSoundCardsMixerIsTried)
{
    // Nothing listens there: the system's choice goes on to ALSA's default mixer (which
    // on a machine without a sound card is not there either).
    ::setenv("PULSE_SERVER", "unix:/nonexistent/velkor/native", 1);
    EXPECT_EQ(
        mixerError([] { return std::make_unique<PulseMixerBackend>(); }).rfind("Couldn't reach the sound server: ", 0),
        0u);
    const std::string error = mixerError([] { return std::make_unique<DefaultMixerBackend>(); });
    EXPECT_EQ(error.find("sound server"), std::string::npos) << error;
    ::unsetenv("PULSE_SERVER");
}

} // namespace

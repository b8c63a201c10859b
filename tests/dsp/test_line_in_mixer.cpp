// The Line-In mixer on ALSA's simple mixer, against a real PulseAudio server with a
// null sink: ALSA's default mixer then shows PulseAudio's "Capture" element, and
// muting it must reach the server's default source.
#include "mixer/AlsaMixerBackend.h"
#include "mixer/LineInMixer.h"
#include "tools/PulseServer.h"

#include <gtest/gtest.h>


namespace {

class AlsaMixer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new testsignal::PulseServer; }   // one server for the suite
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        if (!server->ready())
            GTEST_SKIP() << "no PulseAudio server could be started";
    }
    static testsignal::PulseServer* server;
};
testsignal::PulseServer* AlsaMixer::server = nullptr;

TEST_F(AlsaMixer, MutingTheCaptureElementReachesTheSoundServer)
{
    LineInMixer mixer(std::make_unique<AlsaMixerBackend>("default", "Capture", "Capture"));
    EXPECT_EQ(mixer.line(), MixerBackend::Line::LineIn);
    EXPECT_EQ(mixer.control(), MixerBackend::Control::MuteSwitch);
    mixer.SetMuted(true);
    EXPECT_EQ(server->sourceMute(), "Mute: yes\n");
    mixer.SetMuted(true);   // again: still muted
    EXPECT_EQ(server->sourceMute(), "Mute: yes\n");
    mixer.SetMuted(false);
    EXPECT_EQ(server->sourceMute(), "Mute: no\n");
    mixer.SetMuted(true);
    mixer.Close();
    mixer.SetMuted(false);   // closed: nothing happens
    EXPECT_EQ(server->sourceMute(), "Mute: yes\n");
    server->pactl({"set-source-mute", "@DEFAULT_SOURCE@", "0"});
}

TEST_F(AlsaMixer, MicrophoneWhenThereIsNoLineIn)
{
    LineInMixer mixer(std::make_unique<AlsaMixerBackend>("default", "No Such Line", "Capture"));
    EXPECT_EQ(mixer.line(), MixerBackend::Line::Microphone);
    mixer.SetMuted(true);
    EXPECT_EQ(server->sourceMute(), "Mute: yes\n");
    mixer.Unmute();
    EXPECT_EQ(server->sourceMute(), "Mute: no\n");
}

TEST_F(AlsaMixer, DesktopWithoutLineInOrMicrophone)
{
    try {
        LineInMixer mixer(std::make_unique<AlsaMixerBackend>());
        FAIL() << "a PulseAudio mixer has no Line or Mic element";
    } catch (const MixerError& e) {
        EXPECT_STREQ(e.what(), "Couldn't get Line-In mixerComponent!");
    }
}

TEST(AlsaMixerDevice, NoSuchMixer)
{
    try {
        LineInMixer mixer(std::make_unique<AlsaMixerBackend>("hw:97"));
        FAIL() << "there is no card 97";
    } catch (const MixerError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Couldn't open mixer hw:97: attach: ", 0), 0u) << e.what();
    }
}

} // namespace

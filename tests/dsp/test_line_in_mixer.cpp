// The Line-In mixer on ALSA's simple mixer, against a real PulseAudio server with a
// null sink: ALSA's default mixer then shows PulseAudio's "Capture" element, and
// muting it must reach the server's default source.
#include "dsp/AlsaMixerBackend.h"
#include "dsp/LineInMixer.h"
#include "tools/ToolRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string which(const std::string& program)
{
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        const std::string path = std::string(dir) + "/" + program;
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

// A private PulseAudio server with one null sink, reached through PULSE_SERVER.
class PulseServer {
public:
    PulseServer()
    {
        m_daemon = which("pulseaudio");
        m_pactl = which("pactl");
        if (m_daemon.empty() || m_pactl.empty())
            return;
        const std::string socket = m_dir.file("native");
        ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
        ::setenv("HOME", m_dir.path().c_str(), 1);
        std::vector<std::string> args = {m_daemon, "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                                         "--log-target=stderr", "--log-level=0",
                                         "-L", "module-native-protocol-unix socket=" + socket + " auth-anonymous=1",
                                         "-L", "module-null-sink sink_name=velkor_null"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, m_daemon.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
            return;
        }
        // Ready when pactl gets an answer.
        for (int i = 0; i < 100; ++i) {
            if (pactl({"info"}).status == 0) {
                m_ready = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~PulseServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        ::unsetenv("PULSE_SERVER");
    }
    bool ready() const { return m_ready; }
    testsignal::ToolResult pactl(const std::vector<std::string>& args) const { return testsignal::runTool(m_pactl, args); }
    std::string sourceMute() const { return pactl({"get-source-mute", "@DEFAULT_SOURCE@"}).out; }

private:
    testsignal::TempDir m_dir;
    std::string m_daemon, m_pactl;
    pid_t m_pid = -1;
    bool m_ready = false;
};

class AlsaMixer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new PulseServer; }   // one server for the suite
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
    static PulseServer* server;
};
PulseServer* AlsaMixer::server = nullptr;

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

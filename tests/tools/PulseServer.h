// A private PulseAudio server with one null sink for tests, reached through
// PULSE_SERVER (ALSA's pulse plugin reads it too). It never touches a desktop's own
// sound server. ready() is false when the daemon is not installed or would not start.
#pragma once

#include "tools/ToolRunner.h"

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsignal {

inline std::string which(const std::string& program)
{
    for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        const std::string path = std::string(dir) + "/" + program;
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return {};
}

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
    ToolResult pactl(const std::vector<std::string>& args) const { return runTool(m_pactl, args); }
    std::string sourceMute() const { return pactl({"get-source-mute", "@DEFAULT_SOURCE@"}).out; }

private:
    TempDir m_dir;
    std::string m_daemon, m_pactl;
    pid_t m_pid = -1;
    bool m_ready = false;
};

} // namespace testsignal

// A private PulseAudio server with one null sink for tests (tests/fixtures/
// pulseaudio.sh), reached through PULSE_SERVER, which ALSA's pulse plugin reads too.
// It never touches a desktop's own sound server. ready() is false when the daemon is
// not installed or would not start.
#pragma once

#include "tools/ToolRunner.h"

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace testsignal {

class PulseServer {
public:
    PulseServer()
    {
        const char* sourceDir = std::getenv("VELKOR_SOURCE_DIR");
        m_fixture = std::string(sourceDir ? sourceDir : ".") + "/tests/fixtures/pulseaudio.sh";
        for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"})
            if (m_pactl.empty() && ::access((std::string(dir) + "/pactl").c_str(), X_OK) == 0)
                m_pactl = std::string(dir) + "/pactl";
        if (m_pactl.empty() || ::access(m_fixture.c_str(), R_OK) != 0)
            return;
        // The script runs the daemon in the directory it is given and removes it at stop.
        m_serverDir = m_dir.file("server");
        if (runTool("/bin/bash", {m_fixture, "start", m_serverDir}).status != 0)
            return;
        ::setenv("PULSE_SERVER", ("unix:" + m_serverDir + "/native").c_str(), 1);
        m_ready = pactl({"info"}).status == 0;
    }
    ~PulseServer()
    {
        if (!m_serverDir.empty())
            runTool("/bin/bash", {m_fixture, "stop", m_serverDir});
        ::unsetenv("PULSE_SERVER");
    }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    bool ready() const { return m_ready; }
    ToolResult pactl(const std::vector<std::string>& args) const { return runTool(m_pactl, args); }
    std::string sourceMute() const { return pactl({"get-source-mute", "@DEFAULT_SOURCE@"}).out; }

private:
    TempDir m_dir;
    std::string m_fixture, m_pactl, m_serverDir;
    bool m_ready = false;
};

} // namespace testsignal

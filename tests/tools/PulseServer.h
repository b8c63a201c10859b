// A private PulseAudio server with one null sink for tests (tests/fixtures/
// pulseaudio.sh), reached through PULSE_SERVER, which ALSA's pulse plugin reads too.
// It never touches a desktop's own sound server. ready() is false when the daemon is
// not installed or would not start.
#pragma once

#include "fixtures/Process.h"

#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace testsignal {

class PulseServer {
public:
    PulseServer()
    {
        m_fixture = sourceDir() + "/tests/fixtures/pulseaudio.sh";
        m_pactl = findProgram("pactl");
        if (const char* before = std::getenv("PULSE_SERVER"))
            m_previous = before;
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
        stop();
        if (m_previous.empty())
            ::unsetenv("PULSE_SERVER");
        else
            ::setenv("PULSE_SERVER", m_previous.c_str(), 1);
    }
    // Stops the daemon as its administrator would, for good.
    ToolResult stop()
    {
        resume();
        if (m_serverDir.empty())
            return {};
        ToolResult r = runTool("/bin/bash", {m_fixture, "stop", m_serverDir});
        m_serverDir.clear();
        return r;
    }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    bool ready() const { return m_ready; }
    ToolResult pactl(const std::vector<std::string>& args) const { return runTool(m_pactl, args); }
    std::string sourceMute() const { return pactl({"get-source-mute", "@DEFAULT_SOURCE@"}).out; }
    std::string sinkMute(const std::string& sink) const { return pactl({"get-sink-mute", sink}).out; }
    // Loads a module; its index, or empty when the server refused it.
    std::string load(const std::vector<std::string>& module) const
    {
        std::vector<std::string> args{"load-module"};
        args.insert(args.end(), module.begin(), module.end());
        const ToolResult r = pactl(args);
        return r.status == 0 ? r.out.substr(0, r.out.find('\n')) : std::string();
    }

    struct SinkInput {
        std::string index, ownerModule;
        bool muted = false;
    };
    std::vector<SinkInput> sinkInputs() const
    {
        std::vector<SinkInput> out;
        std::istringstream in(pactl({"list", "sink-inputs"}).out);
        for (std::string line; std::getline(in, line);) {
            const auto value = [&](const char* key) {
                const auto at = line.find(key);
                return at == std::string::npos ? std::string() : line.substr(at + std::string(key).size());
            };
            if (line.rfind("Sink Input #", 0) == 0)
                out.push_back({line.substr(12), {}, false});
            else if (!out.empty() && !value("Owner Module: ").empty())
                out.back().ownerModule = value("Owner Module: ");
            else if (!out.empty() && !value("Mute: ").empty())
                out.back().muted = value("Mute: ") == "yes";
        }
        return out;
    }
    // Whether the sink input of the module is muted; empty when it has none.
    std::string moduleMuted(const std::string& module) const
    {
        for (const SinkInput& i : sinkInputs())
            if (i.ownerModule == module)
                return i.muted ? "yes" : "no";
        return {};
    }

    // Stops the daemon with SIGSTOP, as a sound server that hangs: its socket still
    // takes connections, and nothing answers. pactl must not be used until resume().
    void pause()
    {
        if (const pid_t p = pid(); p > 0 && ::kill(p, SIGSTOP) == 0)
            m_paused = true;
    }
    void resume()
    {
        if (m_paused && pid() > 0)
            ::kill(pid(), SIGCONT);
        m_paused = false;
    }
    pid_t pid() const { return m_serverDir.empty() ? -1 : std::atoi(readFile(m_serverDir + "/pid").c_str()); }

private:
    TempDir m_dir;
    std::string m_fixture, m_pactl, m_serverDir, m_previous;
    bool m_ready = false;
    bool m_paused = false;
};

} // namespace testsignal

// The audio side of velkor-track for a recording: a thread that reads the file in
// blocks of a twentieth of a second and hands each block to the three decoders in the
// dialog's order. Paced, it takes as long as the recording lasts, so the call timer
// and the squelch query see calls as long as they were on the air.
#pragma once

#include "cmdwnd/commands.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

class TrackInput {
public:
    // ended runs on the input's thread once the file is done (or failed: error set).
    using Ended = std::function<void(const std::string& error)>;

    TrackInput(std::string path, std::optional<int> rawRate, bool realtime, CmdSink& sink, Ended ended);
    ~TrackInput() { stop(); }
    TrackInput(const TrackInput&) = delete;
    TrackInput& operator=(const TrackInput&) = delete;

    void start();
    // Stops before the next block and waits for the thread; nothing is posted after.
    void stop();

private:
    void run();

    std::string m_path;
    std::optional<int> m_rawRate;
    bool m_realtime;
    CmdSink& m_sink;
    Ended m_ended;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

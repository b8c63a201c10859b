// LineInMixer on a PulseAudio or PipeWire sound server (libpulse; PipeWire serves the
// same protocol). There the scanner reaches the speakers through the server, by a
// module-loopback (a source output on the capture source and a sink input on a sink,
// owned by the same module) or by an application that records the source and plays
// it. Muting the Line-In means muting that sink input: the source itself is what the
// decoders record, and is never touched.
//
// The source being decoded is the one this process records from (its own capture
// stream, recognised by the process id the server was told), and before there is
// such a stream (or when velkor decodes a file), the server's default source. It is
// looked up again for every request, since a loopback can be loaded, moved or
// unloaded while velkor runs.
//
// Everything talks to the server through libpulse's threaded main loop: the caller
// never waits for the server except in open() and selectLine(), and there at most for
// the time-out it was given; set() only hands the request to the main loop. Requests
// that come faster than the server answers are folded into the last one.
#pragma once

#include "mixer/MixerBackend.h"

#include <chrono>
#include <memory>
#include <string>

namespace velkor {

class PulseMixerBackend : public MixerBackend {
public:
    // The server of libpulse's own choice (PULSE_SERVER, client.conf, the user's
    // runtime directory) unless one is named.
    explicit PulseMixerBackend(std::chrono::milliseconds answerWithin = kAnswerWithin, std::string server = {});
    ~PulseMixerBackend() override;
    PulseMixerBackend(const PulseMixerBackend&) = delete;
    PulseMixerBackend& operator=(const PulseMixerBackend&) = delete;

    static constexpr std::chrono::milliseconds kAnswerWithin{800};

    // A failure when no server is there, or one is there but does not answer in time.
    velkor::Status open() override;
    // What open() finds: the server ready, or no server at all (nothing listens: the
    // sound card's own mixer is worth a try then), with the reason; a failure when one
    // is there but does not answer in time.
    struct Reached {
        bool absent = false;
        std::string reason;
    };
    velkor::Result<Reached> reach();
    // The Line-In is the server's playback of the decoded source: true when something
    // plays it to a sink now. There is no microphone line apart from that.
    bool selectLine(Line line) override;
    // A mute switch only (muted 1, unmuted 0); a sink input's volume belongs to the
    // user.
    bool selectControl(Control control, long* mutedValue, long* unmutedValue) override;
    // Asynchronous; false only when the connection to the server is lost.
    bool set(long value) override;
    // Waits, at most for the time-out, until the last request has reached the server.
    void close() override;
    std::string detail() const override { return m_detail; }

    struct State;

private:
    std::chrono::milliseconds m_answerWithin;
    std::string m_server;
    std::unique_ptr<State> m_state;
    std::string m_detail;
};

} // namespace velkor

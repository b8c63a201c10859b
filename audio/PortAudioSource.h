// Live capture with PortAudio from the default input device or a named one.
//
// The audio callback only copies samples into a lock-free ring and wakes the decoding
// thread; the decoding thread takes whole blocks out of the ring. The device always has
// buffers to fill, so nothing is lost while a block is being decoded; if decoding ever
// falls behind by more than the ring holds (two seconds), the dropped samples are
// counted and reported. A device that stops delivering (an audio server that went
// away, where PortAudio's thread may keep running without ever calling back) ends
// the capture with an error after a few seconds without audio.
//
// PortAudio reaches a sound server through ALSA, which waits for a server that has
// stopped (SIGSTOP, a hang) for minutes, in Pa_Initialize, in opening and in closing
// a stream alike. So every PortAudio call of a source runs on a thread of its own,
// and the caller waits for it at most kAnswerWithin: an open that takes longer goes
// on in the background (capture begins when it is done, and ends with an error when
// it fails or there is no audio for a few seconds), and a close that takes longer is
// left to that thread, which keeps what the device may still touch until PortAudio
// lets go of it.
#pragma once

#include "audio/AudioSource.h"
#include "audio/SampleRing.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace velkor {

class PortAudioSource : public AudioSource {
public:
    struct DeviceInfo {
        int index;
        std::string name;
        std::string hostApi;
        int inputChannels;
        double defaultRate;
        bool isDefault;
    };

    // Empty device: the default input device.
    explicit PortAudioSource(std::string device = {});
    ~PortAudioSource() override;

    // How long a caller waits for PortAudio and the sound server behind it.
    static constexpr std::chrono::milliseconds kAnswerWithin{900};

    velkor::Status open(unsigned sampleRate, size_t blockSamples) override;
    velkor::Status start(Handlers handlers) override;
    void stop() override;
    void close() override;
    std::string name() const override;

    // The device's own input buffering in seconds, as PortAudio reports it for the
    // open stream; 0 when no stream is open.
    double inputLatency() const;

    // The capture devices PortAudio sees; a failure when PortAudio cannot start at all.
    static velkor::Result<std::vector<DeviceInfo>> captureDevices();

    // What the device, PortAudio's threads and the PortAudio thread of this source
    // share; it outlives the source while PortAudio still holds it.
    struct Capture;

private:
    void DecodingThread();

    std::string m_device;
    std::shared_ptr<Capture> m_capture;
    Handlers m_handlers;
    std::thread m_thread;
};

} // namespace velkor

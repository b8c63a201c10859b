// Live capture with PortAudio from the default input device or a named one.
//
// The audio callback only copies samples into a lock-free ring and wakes the decoding
// thread; the decoding thread takes whole blocks out of the ring. The device always has
// buffers to fill, so nothing is lost while a block is being decoded; if decoding ever
// falls behind by more than the ring holds (two seconds), the dropped samples are
// counted and reported. A device that stops delivering (an audio server that went
// away, where PortAudio's thread may keep running without ever calling back) ends
// the capture with an error after a few seconds without audio.
#pragma once

#include "audio/AudioSource.h"
#include "audio/SampleRing.h"

#include <atomic>
#include <memory>
#include <optional>
#include <semaphore>
#include <thread>
#include <vector>

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

    void open(unsigned sampleRate, size_t blockSamples) override;
    void start(Handlers handlers) override;
    void stop() override;
    void close() override;
    std::string name() const override;

    // The device's own input buffering in seconds, as PortAudio reports it for the
    // open stream; 0 when no stream is open.
    double inputLatency() const;

    // The capture devices PortAudio sees. Throws AudioSourceError when PortAudio
    // cannot start at all.
    static std::vector<DeviceInfo> captureDevices();

    // Called by PortAudio on its own real-time thread.
    void Captured(const int16_t* samples, size_t count, bool deviceOverflow);
    // Called by PortAudio when the stream has ended, also when it ends by itself.
    void Finished();

private:
    void DecodingThread();
    void Wake();

    std::string m_device;
    std::string m_deviceName; // as PortAudio names the device that was opened
    bool m_initialized = false;
    void* m_stream = nullptr; // PaStream
    std::unique_ptr<SampleRing> m_ring;
    size_t m_blockSamples = 0;
    unsigned m_sampleRate = 0;
    Handlers m_handlers;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_finished{false};
    std::counting_semaphore<> m_wake{0};
    std::atomic<uint64_t> m_deviceOverflows{0};
};

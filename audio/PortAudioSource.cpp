#include "audio/PortAudioSource.h"

#include "audio/BlockClock.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <chrono>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
// ALSA's plugins and JACK allocate memory in the static initialisers of the modules that
// ALSA loads while PortAudio probes the devices, and never free it; ALSA unloads the
// modules at Pa_Terminate, and LeakSanitizer reports that memory at exit. Not ours.
// Those reports only name _dl_init with full stacks, hence the slow unwinder.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:_dl_init\nleak:dl_open_worker\n";
}
extern "C" const char* __lsan_default_options()
{
    return "print_suppressions=0";
}
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
#endif

namespace {

constexpr double kRingSeconds = 2.0;
// A capture device delivers all the time, silence included; this long without a block
// means it has gone.
constexpr auto kStallLimit = std::chrono::seconds(5);

// ALSA and JACK print their probing of every possible device to standard error when
// PortAudio enumerates them ("Unknown PCM cards.pcm.rear", "jack server is not
// running"). Those are not errors of ours; what does fail reaches the user through
// PortAudio's own error codes.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
void quietJack(const char*) {}

void initializePortAudio()
{
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        snd_lib_error_set_handler(quietAlsa);
        jack_set_error_function(quietJack);
        jack_set_info_function(quietJack);
    });
    const PaError err = Pa_Initialize();
    if (err != paNoError)
        throw AudioSourceError(std::string("cannot start PortAudio: ") + Pa_GetErrorText(err));
}

std::string errorText(PaError err)
{
    std::string text = Pa_GetErrorText(err);
    if (err == paUnanticipatedHostError) {
        const PaHostErrorInfo* info = Pa_GetLastHostErrorInfo();
        if (info && info->errorText && *info->errorText)
            text += std::string(" (") + info->errorText + ")";
    }
    return text;
}

int captureCallback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                    PaStreamCallbackFlags flags, void* user)
{
    static_cast<PortAudioSource*>(user)->Captured(static_cast<const int16_t*>(input), input ? frames : 0,
                                                  (flags & paInputOverflow) != 0);
    return paContinue;
}

void streamFinished(void* user)
{
    static_cast<PortAudioSource*>(user)->Finished();
}

// Finds the device to open: the default input, else an exact name, else the one
// device whose name contains the given text.
PaDeviceIndex findDevice(const std::string& wanted)
{
    if (wanted.empty()) {
        const PaDeviceIndex index = Pa_GetDefaultInputDevice();
        if (index == paNoDevice)
            throw AudioSourceError("no capture device found (no sound card, or no audio server running)");
        return index;
    }
    std::vector<PaDeviceIndex> partial;
    std::string known;
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info || info->maxInputChannels < 1)
            continue;
        const std::string name = info->name;
        if (name == wanted)
            return i;
        if (name.find(wanted) != std::string::npos)
            partial.push_back(i);
        known += (known.empty() ? "" : ", ") + ("\"" + name + "\"");
    }
    if (partial.size() == 1)
        return partial.front();
    if (known.empty())
        throw AudioSourceError("no capture device named \"" + wanted + "\": no capture devices found");
    throw AudioSourceError("no capture device named \"" + wanted + "\"" +
                           (partial.empty() ? "" : " (the name fits several)") + "; capture devices: " + known);
}

} // namespace

PortAudioSource::PortAudioSource(std::string device) : m_device(std::move(device)) {}

PortAudioSource::~PortAudioSource()
{
    close();
}

std::string PortAudioSource::name() const
{
    if (!m_deviceName.empty())
        return m_deviceName;
    return m_device.empty() ? std::string("default capture device") : m_device;
}

double PortAudioSource::inputLatency() const
{
    const PaStreamInfo* info = m_stream ? Pa_GetStreamInfo(static_cast<PaStream*>(m_stream)) : nullptr;
    return info ? info->inputLatency : 0.0;
}

void PortAudioSource::open(unsigned sampleRate, size_t blockSamples)
{
    close();
    if (sampleRate == 0 || blockSamples == 0)
        throw AudioSourceError("invalid sample rate " + std::to_string(sampleRate));
    initializePortAudio();
    m_initialized = true;
    try {
        const PaDeviceIndex index = findDevice(m_device);
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        m_deviceName = info->name;
        PaStreamParameters params{};
        params.device = index;
        params.channelCount = 1;
        params.sampleFormat = paInt16;
        // High latency with device periods of one block: with the low setting, or with
        // periods of PortAudio's choosing, PortAudio's ALSA thread polls the pulse plugin
        // many times a block and costs several percent of a core; this way capture
        // costs well under one, and an event still reaches the sink within a block
        // plus the device's buffering.
        params.suggestedLatency = info->defaultHighInputLatency;
        const std::string what = "capture device \"" + m_deviceName + "\"";
        PaError err = Pa_IsFormatSupported(&params, nullptr, sampleRate);
        if (err != paFormatIsSupported)
            throw AudioSourceError(what + " refuses " + std::to_string(sampleRate) +
                                   " Hz 16-bit mono: " + errorText(err));
        const size_t ringSamples = static_cast<size_t>(kRingSeconds * sampleRate) + 2 * blockSamples;
        m_ring = std::make_unique<SampleRing>(ringSamples);
        m_blockSamples = blockSamples;
        m_sampleRate = sampleRate;
        PaStream* stream = nullptr;
        err = Pa_OpenStream(&stream, &params, nullptr, sampleRate, blockSamples, paClipOff,
                            captureCallback, this);
        if (err != paNoError)
            throw AudioSourceError("cannot open " + what + " at " + std::to_string(sampleRate) + " Hz: " + errorText(err));
        m_stream = stream;
        Pa_SetStreamFinishedCallback(stream, streamFinished);
    } catch (...) {
        close();
        throw;
    }
}

void PortAudioSource::start(Handlers handlers)
{
    if (!m_stream || m_thread.joinable())
        return;
    m_handlers = std::move(handlers);
    m_stopping = false;
    m_finished = false;
    m_thread = std::thread([this] { DecodingThread(); });
    const PaError err = Pa_StartStream(static_cast<PaStream*>(m_stream));
    if (err != paNoError) {
        stop();
        throw AudioSourceError("cannot start capture on \"" + m_deviceName + "\": " + errorText(err));
    }
}

void PortAudioSource::Captured(const int16_t* samples, size_t count, bool deviceOverflow)
{
    bool wake = deviceOverflow;
    if (deviceOverflow)
        m_deviceOverflows.fetch_add(1, std::memory_order_relaxed);
    if (samples && count)
        wake |= m_ring->write(samples, count) < count;
    // Waking the decoding thread for less than a block would only cost CPU.
    if (wake || m_ring->available() >= m_blockSamples)
        Wake();
}

void PortAudioSource::Finished()
{
    m_finished.store(true, std::memory_order_release);
    Wake();
}

void PortAudioSource::Wake()
{
    m_wake.release();
}

void PortAudioSource::DecodingThread()
{
    std::vector<int16_t> block(m_blockSamples);
    uint64_t reportedDrops = 0;
    uint64_t reportedOverflows = 0;
    auto reportLosses = [&] {
        const uint64_t drops = m_ring->dropped();
        const uint64_t overflows = m_deviceOverflows.load(std::memory_order_relaxed);
        if (drops == reportedDrops && overflows == reportedOverflows)
            return;
        if (m_handlers.overflow)
            m_handlers.overflow(drops - reportedDrops, overflows - reportedOverflows);
        reportedDrops = drops;
        reportedOverflows = overflows;
    };
    auto lastBlock = std::chrono::steady_clock::now();
    // A sample spends the device's buffering, then its wait in the ring, before we
    // take it; what is still in the ring came after this block.
    BlockClock clock(m_sampleRate);
    const auto deviceDelay = std::chrono::duration_cast<CaptureTime::duration>(
        std::chrono::duration<double>(inputLatency()));
    const double rate = m_sampleRate ? m_sampleRate : 1.0;
    auto end = [&](const std::string& why) {
        if (m_handlers.ended)
            m_handlers.ended("capture from \"" + m_deviceName + "\" stopped: " + why);
    };
    for (;;) {
        if (m_stopping.load(std::memory_order_acquire))
            return;
        while (!m_stopping.load(std::memory_order_acquire) && m_ring->read(block.data(), block.size())) {
            lastBlock = std::chrono::steady_clock::now();
            const auto waiting = std::chrono::duration_cast<CaptureTime::duration>(
                std::chrono::duration<double>(static_cast<double>(m_ring->available() + block.size()) / rate));
            const CaptureTime captured =
                clock.stamp(std::chrono::system_clock::now() - waiting - deviceDelay, block.size());
            reportLosses();
            if (m_handlers.block)
                m_handlers.block(block.data(), block.size() * sizeof(int16_t), captured);
        }
        reportLosses();
        if (m_stopping.load(std::memory_order_acquire))
            return;
        // A stream that ends while nobody stops it has lost its device.
        if (m_finished.load(std::memory_order_acquire)) {
            end("the stream ended (the device or audio server went away)");
            return;
        }
        if (std::chrono::steady_clock::now() - lastBlock > kStallLimit) {
            end("no audio for " + std::to_string(kStallLimit.count()) +
                " seconds (the device or audio server went away)");
            return;
        }
        // Wake-ups left over from blocks already taken only cost an empty round.
        m_wake.try_acquire_for(std::chrono::milliseconds(500));
    }
}

void PortAudioSource::stop()
{
    if (m_thread.joinable()) {
        m_stopping.store(true, std::memory_order_release);
        Wake();
        m_thread.join();
    }
    // Abort rather than stop: stopping would wait for buffers that a stalled device
    // may never fill.
    if (m_stream && Pa_IsStreamStopped(static_cast<PaStream*>(m_stream)) == 0)
        Pa_AbortStream(static_cast<PaStream*>(m_stream));
}

void PortAudioSource::close()
{
    stop();
    // The ring goes only after the stream is closed: until then the device's callback
    // may still write into it.
    if (m_stream) {
        Pa_CloseStream(static_cast<PaStream*>(m_stream));
        m_stream = nullptr;
    }
    m_ring.reset();
    if (m_initialized) {
        Pa_Terminate();
        m_initialized = false;
    }
}

std::vector<PortAudioSource::DeviceInfo> PortAudioSource::captureDevices()
{
    initializePortAudio();
    std::vector<DeviceInfo> devices;
    const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info || info->maxInputChannels < 1)
            continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
        devices.push_back({i, info->name, api ? api->name : "", info->maxInputChannels, info->defaultSampleRate,
                           i == defaultInput});
    }
    Pa_Terminate();
    return devices;
}

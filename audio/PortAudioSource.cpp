#include "audio/PortAudioSource.h"

#include "audio/BlockClock.h"
#include "notify/Result.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <semaphore>

namespace velkor {

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

// PortAudio's own state (Pa_Initialize's count, the host APIs) is not safe to use from
// two threads at once; every PortAudio call runs under this lock. A thread left
// waiting for a stopped server keeps it, and the next source simply waits its turn in
// the background.
std::mutex& portAudioLock()
{
    static std::mutex lock;
    return lock;
}

// ALSA and JACK print their probing of every possible device to standard error when
// PortAudio enumerates them ("Unknown PCM cards.pcm.rear", "jack server is not
// running"). Those are not errors of ours; what does fail reaches the user through
// PortAudio's own error codes.
void quietAlsa(const char*, int, const char*, int, const char*, ...) { }
void quietJack(const char*) { }

velkor::Status initializePortAudio()
{
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        snd_lib_error_set_handler(quietAlsa);
        jack_set_error_function(quietJack);
        jack_set_info_function(quietJack);
    });
    const PaError err = Pa_Initialize();
    if (err != paNoError)
        return velkor::fail(std::string("cannot start PortAudio: ") + Pa_GetErrorText(err));
    return {};
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

// Finds the device to open: the default input, else an exact name, else the one
// device whose name contains the given text.
velkor::Result<PaDeviceIndex> findDevice(const std::string& wanted)
{
    if (wanted.empty()) {
        const PaDeviceIndex index = Pa_GetDefaultInputDevice();
        if (index == paNoDevice)
            return velkor::fail("no capture device found (no sound card, or no audio server running)");
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
        return velkor::fail("no capture device named \"" + wanted + "\": no capture devices found");
    return velkor::fail("no capture device named \"" + wanted + "\"" +
                        (partial.empty() ? "" : " (the name fits several)") + "; capture devices: " + known);
}

} // namespace

struct PortAudioSource::Capture {
    // Fixed before the PortAudio thread starts.
    std::string wanted;
    unsigned sampleRate = 0;
    size_t blockSamples = 0;
    std::unique_ptr<SampleRing> ring;

    // The device's callback and the decoding thread.
    std::atomic<bool> stopping{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> failed{false};
    std::counting_semaphore<> wake{0};
    std::atomic<uint64_t> deviceOverflows{0};

    // The PortAudio thread and its callers, under lock.
    std::mutex lock;
    std::condition_variable changed;
    bool opened = false;
    bool running = false;
    bool closed = false;
    bool wantRunning = false;
    bool wantClosed = false;
    bool answering = true; // false once the server has let a stop wait in vain
    std::string error;     // set before failed
    std::string deviceName;
    double inputLatency = 0;

    void Wake() { wake.release(); }

    void Captured(const int16_t* samples, size_t count, bool deviceOverflow)
    {
        bool wakeUp = deviceOverflow;
        if (deviceOverflow)
            deviceOverflows.fetch_add(1, std::memory_order_relaxed);
        if (samples && count)
            wakeUp |= ring->write(samples, count) < count;
        // Waking the decoding thread for less than a block would only cost CPU.
        if (wakeUp || ring->available() >= blockSamples)
            Wake();
    }

    void Finished()
    {
        finished.store(true, std::memory_order_release);
        Wake();
    }

    void fail(std::unique_lock<std::mutex>& held, const std::string& why)
    {
        error = why;
        failed.store(true, std::memory_order_release);
        changed.notify_all();
        held.unlock();
        Wake();
        held.lock();
    }

    // The PortAudio thread: opens the stream, starts and stops it as asked, closes it.
    // It holds the capture (and with it the ring the device writes into) until
    // PortAudio has let go of the stream: the thread's own copy of the pointer lives
    // until this returns.
    static void Run(const std::shared_ptr<Capture>& self) { self->run(); }

    struct Stream {
        PaStream* stream = nullptr;
        std::string deviceName;
        double latency = 0;
    };

    // Opens the stream of the wanted device at the rate, under PortAudio's lock.
    velkor::Result<Stream> openStream()
    {
        std::lock_guard<std::mutex> pa(portAudioLock());
        if (const velkor::Status started = initializePortAudio(); !started)
            return velkor::fail(started.error());
        auto opened = openStreamOnce();
        if (!opened)
            Pa_Terminate();
        return opened;
    }

    velkor::Result<Stream> openStreamOnce()
    {
        const velkor::Result<PaDeviceIndex> index = findDevice(wanted);
        if (!index)
            return velkor::fail(index.error());
        const PaDeviceInfo* info = Pa_GetDeviceInfo(*index);
        Stream s;
        s.deviceName = info->name;
        PaStreamParameters params{};
        params.device = *index;
        params.channelCount = 1;
        params.sampleFormat = paInt16;
        // High latency with device periods of one block: with the low setting, or
        // with periods of PortAudio's choosing, PortAudio's ALSA thread polls the
        // pulse plugin many times a block and costs several percent of a core;
        // this way capture costs well under one, and an event still reaches the
        // sink within a block plus the device's buffering.
        params.suggestedLatency = info->defaultHighInputLatency;
        const std::string what = "capture device \"" + s.deviceName + "\"";
        PaError err = Pa_IsFormatSupported(&params, nullptr, sampleRate);
        if (err != paFormatIsSupported)
            return velkor::fail(what + " refuses " + std::to_string(sampleRate) + " Hz 16-bit mono: " + errorText(err));
        err = Pa_OpenStream(&s.stream, &params, nullptr, sampleRate, blockSamples, paClipOff, captureCallback, this);
        if (err != paNoError)
            return velkor::fail("cannot open " + what + " at " + std::to_string(sampleRate) + " Hz: " + errorText(err));
        Pa_SetStreamFinishedCallback(s.stream, streamFinished);
        const PaStreamInfo* streamInfo = Pa_GetStreamInfo(s.stream);
        s.latency = streamInfo ? streamInfo->inputLatency : 0.0;
        return s;
    }

    // Starts or stops the stream, and closes it when asked; the PortAudio error of a
    // start that failed.
    PaError apply(PaStream* stream, bool start, bool closing)
    {
        std::lock_guard<std::mutex> pa(portAudioLock());
        PaError err = paNoError;
        if (start) {
            err = Pa_StartStream(stream);
        } else if (Pa_IsStreamStopped(stream) == 0) {
            // Abort rather than stop: stopping would wait for buffers that a
            // stalled device may never fill.
            Pa_AbortStream(stream);
        }
        if (closing) {
            Pa_CloseStream(stream);
            Pa_Terminate();
        }
        return err;
    }

    void run()
    {
        const velkor::Result<Stream> made = openStream();
        std::unique_lock<std::mutex> held(lock);
        if (!made) {
            fail(held, made.error());
            return;
        }
        PaStream* stream = made->stream;
        deviceName = made->deviceName;
        opened = true;
        inputLatency = made->latency;
        changed.notify_all();
        for (;;) {
            changed.wait(held, [&] { return wantClosed || wantRunning != running; });
            const bool closing = wantClosed;
            const bool start = !closing && wantRunning;
            held.unlock();
            const PaError err = apply(stream, start, closing);
            held.lock();
            if (closing) {
                running = false;
                closed = true;
                changed.notify_all();
                return;
            }
            if (err != paNoError) {
                wantRunning = false;
                fail(held, "cannot start capture on \"" + deviceName + "\": " + errorText(err));
                continue;
            }
            running = start;
            changed.notify_all();
        }
    }

    static int captureCallback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                               PaStreamCallbackFlags flags, void* user)
    {
        static_cast<Capture*>(user)->Captured(static_cast<const int16_t*>(input), input ? frames : 0,
                                              (flags & paInputOverflow) != 0);
        return paContinue;
    }

    static void streamFinished(void* user) { static_cast<Capture*>(user)->Finished(); }
};

PortAudioSource::PortAudioSource(std::string device)
    : m_device(std::move(device))
{
}

PortAudioSource::~PortAudioSource()
{
    close();
}

std::string PortAudioSource::name() const
{
    if (m_capture) {
        std::lock_guard<std::mutex> held(m_capture->lock);
        if (!m_capture->deviceName.empty())
            return m_capture->deviceName;
    }
    return m_device.empty() ? std::string("default capture device") : m_device;
}

double PortAudioSource::inputLatency() const
{
    if (!m_capture)
        return 0.0;
    std::lock_guard<std::mutex> held(m_capture->lock);
    return m_capture->opened && !m_capture->closed ? m_capture->inputLatency : 0.0;
}

velkor::Status PortAudioSource::open(unsigned sampleRate, size_t blockSamples)
{
    close();
    if (sampleRate == 0 || blockSamples == 0)
        return velkor::fail("invalid sample rate " + std::to_string(sampleRate));
    auto capture = std::make_shared<Capture>();
    capture->wanted = m_device;
    capture->sampleRate = sampleRate;
    capture->blockSamples = blockSamples;
    capture->ring = std::make_unique<SampleRing>(static_cast<size_t>(kRingSeconds * sampleRate) + 2 * blockSamples);
    std::thread(Capture::Run, capture).detach();
    m_capture = capture;
    std::unique_lock<std::mutex> held(capture->lock);
    // An answer in time is reported here; a later one at start(), or by the decoding
    // thread.
    capture->changed.wait_for(held, kAnswerWithin, [&] { return capture->opened || capture->failed; });
    if (capture->failed) {
        const std::string why = capture->error;
        held.unlock();
        m_capture.reset();
        return velkor::fail(why);
    }
    return {};
}

velkor::Status PortAudioSource::start(Handlers handlers)
{
    if (!m_capture || m_thread.joinable())
        return {};
    Capture& c = *m_capture;
    m_handlers = std::move(handlers);
    c.stopping = false;
    c.finished = false;
    {
        std::unique_lock<std::mutex> held(c.lock);
        c.wantRunning = true;
        c.changed.notify_all();
        // Only an open stream is waited for: one still opening starts once it is open,
        // and the decoding thread reports what goes wrong with it.
        c.changed.wait_for(held, kAnswerWithin, [&] { return !c.opened || c.running || c.failed; });
        if (c.failed && c.opened)
            return velkor::fail(c.error);
    }
    m_thread = std::thread([this] { DecodingThread(); });
    return {};
}

void PortAudioSource::DecodingThread()
{
    Capture& c = *m_capture;
    std::vector<int16_t> block(c.blockSamples);
    uint64_t reportedDrops = 0;
    uint64_t reportedOverflows = 0;
    auto reportLosses = [&] {
        const uint64_t drops = c.ring->dropped();
        const uint64_t overflows = c.deviceOverflows.load(std::memory_order_relaxed);
        if (drops == reportedDrops && overflows == reportedOverflows)
            return;
        if (m_handlers.overflow)
            m_handlers.overflow(drops - reportedDrops, overflows - reportedOverflows);
        reportedDrops = drops;
        reportedOverflows = overflows;
    };
    auto lastBlock = std::chrono::steady_clock::now();
    // A sample spends the device's buffering, then its wait in the ring, before we
    // take it; what is still in the ring came after this block. The device's latency
    // is known once it has opened, which may be after this thread starts.
    BlockClock clock(c.sampleRate);
    const double rate = c.sampleRate ? c.sampleRate : 1.0;
    std::optional<CaptureTime::duration> deviceDelay;
    auto end = [&](const std::string& why) {
        if (m_handlers.ended)
            m_handlers.ended(velkor::fail("capture from \"" + name() + "\" stopped: " + why));
    };
    for (;;) {
        if (c.stopping.load(std::memory_order_acquire))
            return;
        while (!c.stopping.load(std::memory_order_acquire) && c.ring->read(block.data(), block.size())) {
            lastBlock = std::chrono::steady_clock::now();
            if (!deviceDelay)
                deviceDelay =
                    std::chrono::duration_cast<CaptureTime::duration>(std::chrono::duration<double>(inputLatency()));
            const auto waiting = std::chrono::duration_cast<CaptureTime::duration>(
                std::chrono::duration<double>(static_cast<double>(c.ring->available() + block.size()) / rate));
            const CaptureTime captured =
                clock.stamp(std::chrono::system_clock::now() - waiting - *deviceDelay, block.size());
            reportLosses();
            if (m_handlers.block)
                m_handlers.block(block.data(), block.size() * sizeof(int16_t), captured);
        }
        reportLosses();
        if (c.stopping.load(std::memory_order_acquire))
            return;
        if (c.failed.load(std::memory_order_acquire)) {
            std::string why;
            {
                std::lock_guard<std::mutex> held(c.lock);
                why = c.error;
            }
            if (m_handlers.ended)
                m_handlers.ended(velkor::fail(why));
            return;
        }
        // A stream that ends while nobody stops it has lost its device.
        if (c.finished.load(std::memory_order_acquire)) {
            end("the stream ended (the device or audio server went away)");
            return;
        }
        // Also where the device never opened: a server that does not answer.
        if (std::chrono::steady_clock::now() - lastBlock > kStallLimit) {
            end("no audio for " + std::to_string(kStallLimit.count()) +
                " seconds (the device or audio server went away)");
            return;
        }
        // Wake-ups left over from blocks already taken only cost an empty round.
        c.wake.try_acquire_for(std::chrono::milliseconds(500));
    }
}

void PortAudioSource::stop()
{
    if (m_thread.joinable()) {
        m_capture->stopping.store(true, std::memory_order_release);
        m_capture->Wake();
        m_thread.join();
    }
    if (!m_capture)
        return;
    Capture& c = *m_capture;
    std::unique_lock<std::mutex> held(c.lock);
    c.wantRunning = false;
    c.changed.notify_all();
    c.answering = c.changed.wait_for(held, kAnswerWithin, [&] { return !c.running || c.closed; });
}

void PortAudioSource::close()
{
    stop();
    if (!m_capture)
        return;
    Capture& c = *m_capture;
    {
        std::unique_lock<std::mutex> held(c.lock);
        c.wantClosed = true;
        c.changed.notify_all();
        // A stream that is still opening, or a close that the server holds up, is
        // closed by the PortAudio thread on its own, whenever PortAudio returns.
        if (c.opened && c.answering)
            c.changed.wait_for(held, kAnswerWithin, [&] { return c.closed; });
    }
    m_capture.reset();
}

velkor::Result<std::vector<PortAudioSource::DeviceInfo>> PortAudioSource::captureDevices()
{
    std::lock_guard<std::mutex> pa(portAudioLock());
    if (const velkor::Status started = initializePortAudio(); !started)
        return velkor::fail(started.error());
    std::vector<DeviceInfo> devices;
    const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info || info->maxInputChannels < 1)
            continue;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
        devices.push_back(
            {i, info->name, api ? api->name : "", info->maxInputChannels, info->defaultSampleRate, i == defaultInput});
    }
    Pa_Terminate();
    return devices;
}

} // namespace velkor

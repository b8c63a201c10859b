// Latency of live capture, end to end: from the moment the last sample of an MPT 1327
// codeword is played into the audio server until its log line reaches the sink.
//
// Plays short control-channel bursts through PortAudio's default output and decodes
// the default input with the decoder bank. With the test server of
// tests/fixtures/pulseaudio.sh the default input is the monitor of the sink that the
// output plays into, so the path is: sink -> monitor -> ALSA pulse plugin -> PortAudio
// -> ring -> block -> decoders. Both streams tell time on PortAudio's clock; the output
// stream says when each buffer reaches the sink (outputBufferDacTime).
//
//   PULSE_SERVER=unix:DIR/native capture-latency [BURSTS]
#include "audio/PortAudioSource.h"
#include "bank/DecoderBank.h"
#include "signal/Mpt1327Gen.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

using namespace velkor;

namespace {

constexpr int kRate = 48000;

struct Player {
    std::vector<int16_t> pcm;
    std::vector<size_t> burstEnds;        // index of the last sample of each burst
    std::vector<std::atomic<double>> due; // when that sample reaches the sink
    std::atomic<size_t> position{0};

    explicit Player(size_t bursts)
        : due(bursts)
    {
    }
};

int playCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo* time,
                 PaStreamCallbackFlags, void* user)
{
    auto* p = static_cast<Player*>(user);
    auto* out = static_cast<int16_t*>(output);
    const size_t start = p->position.load();
    for (unsigned long i = 0; i < frames; ++i)
        out[i] = start + i < p->pcm.size() ? p->pcm[start + i] : 0;
    for (size_t b = 0; b < p->burstEnds.size(); ++b) {
        const size_t end = p->burstEnds[b];
        if (end >= start && end < start + frames)
            p->due[b] = time->outputBufferDacTime + static_cast<double>(end - start) / kRate;
    }
    p->position = start + frames;
    return start + frames >= p->pcm.size() + kRate ? paComplete : paContinue;
}

class TimingSink : public CmdSink {
public:
    explicit TimingSink(PaStream* clock)
        : m_clock(clock)
    {
    }
    void post(uint32_t code, CmdPayload payload) override
    {
        const auto* text = std::get_if<LogText>(&payload);
        if (code != CMDWND_ADD_LOGSTR || !text || text->rfind("MAINT", 0) != 0)
            return;
        std::lock_guard lock(m_mutex);
        m_times.push_back(Pa_GetStreamTime(m_clock));
    }
    std::vector<double> times()
    {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    PaStream* m_clock;
    std::mutex m_mutex;
    std::vector<double> m_times;
};

} // namespace

int main(int argc, char** argv)
{
    const size_t bursts = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 20;
    Player player(bursts);
    // Each burst: preamble, system codeword, Aloha, then the MAINT codeword whose line
    // is timed; bursts start at varying offsets within a block.
    for (size_t b = 0; b < bursts; ++b) {
        player.pcm.insert(player.pcm.end(), static_cast<size_t>(kRate * 0.6 + 397 * b), 0);
        mptgen::ControlChannel cc(0x0089, 16);
        cc.slot(mptgen::misc(1, 1));
        testsignal::FfskOptions options;
        options.rate = kRate;
        options.tailSeconds = 0;
        const auto burst = testsignal::toPcm16(testsignal::ffsk(cc.bits, options));
        player.pcm.insert(player.pcm.end(), burst.begin(), burst.end());
        player.burstEnds.push_back(player.pcm.size() - 1);
    }

    // Listing the devices first also quiets ALSA's and JACK's device probing.
    if (const auto devices = PortAudioSource::captureDevices(); !devices) {
        std::fprintf(stderr, "capture-latency: %s\n", devices.error().c_str());
        return 2;
    }
    if (Pa_Initialize() != paNoError)
        return 2;
    PaStream* output = nullptr;
    if (Pa_OpenDefaultStream(&output, 0, 1, paInt16, kRate, paFramesPerBufferUnspecified, playCallback, &player) !=
        paNoError) {
        std::fprintf(stderr, "capture-latency: cannot open the default output\n");
        return 2;
    }
    TimingSink sink(output);
    try {
        auto source = std::make_unique<PortAudioSource>();
        PortAudioSource* capture = source.get();
        DecoderBank bank(&sink, kRate, std::move(source));
        std::printf("capture device latency (PortAudio): %.1f ms; block %.1f ms\n", capture->inputLatency() * 1000,
                    DecoderBank::BlockSamples(kRate) * 1000.0 / kRate);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Pa_StartStream(output);
        while (Pa_IsStreamActive(output) == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "capture-latency: %s\n", e.what());
        return 2;
    }
    Pa_CloseStream(output);
    Pa_Terminate();

    const auto times = sink.times();
    if (times.size() != bursts) {
        std::fprintf(stderr, "capture-latency: %zu of %zu bursts decoded\n", times.size(), bursts);
        return 1;
    }
    std::vector<double> ms;
    for (size_t b = 0; b < bursts; ++b)
        ms.push_back((times[b] - player.due[b]) * 1000);
    std::sort(ms.begin(), ms.end());
    std::printf("last sample played -> log line at the sink, %zu bursts: min %.1f ms, median %.1f ms, max %.1f ms, "
                "mean %.1f ms\n",
                bursts, ms.front(), ms[ms.size() / 2], ms.back(),
                std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size()));
    return 0;
}

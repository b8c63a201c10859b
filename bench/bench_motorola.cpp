// Speed of the Motorola path: the zero-crossing slicer alone, and slicer plus decoder,
// on generated control-channel audio (shaped edges, 20 dB SNR) fed in capture blocks
// of a twentieth of a second. Items are samples, so items_per_second is samples/s.
#include "decoders/CMotorola.h"
#include "signal/MotorolaGen.h"
#include "signal/Nrz.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

using namespace velkor;

namespace {

const std::vector<int16_t>& controlChannelAudio(int rate)
{
    static std::map<int, std::vector<int16_t>> cache;
    auto& pcm = cache[rate];
    if (pcm.empty()) {
        std::vector<motogen::Word> words;
        // About ten seconds of traffic: every kind of word the decoder interprets.
        for (int i = 0; i < 43; ++i) {
            const auto n = static_cast<uint16_t>(i);
            words = words + motogen::systemAnnouncement(0x3C1, static_cast<uint16_t>(0x2800 + n)) +
                std::vector<motogen::Word>{motogen::site(n), motogen::radio(static_cast<uint16_t>(1000 + n)),
                                           motogen::grant(static_cast<uint16_t>(200 + n), 400), motogen::idle()} +
                motogen::affiliation(static_cast<uint16_t>(2000 + n), 300) +
                std::vector<motogen::Word>{motogen::idle(), motogen::idle()};
        }
        testsignal::NrzOptions o;
        o.rate = rate;
        o.gaussianBt = 0.5;
        auto samples = testsignal::nrz(motogen::stream(words), o);
        testsignal::addNoise(samples, 20.0, 5);
        pcm = testsignal::toPcm16(samples);
    }
    return pcm;
}

class CountingSink : public CmdSink {
public:
    void post(uint32_t, CmdPayload) override { ++events; }
    size_t events = 0;
};

class BitCounter : public CGMSKDemodulator {
public:
    using CGMSKDemodulator::CGMSKDemodulator;
    void ProcessBit(bool bit, float) override { ones += bit; }
    size_t ones = 0;
};

template <typename Make> void run(benchmark::State& state, Make make)
{
    const int rate = static_cast<int>(state.range(0));
    const auto& pcm = controlChannelAudio(rate);
    const size_t block = static_cast<size_t>(rate / 20);
    for (auto _ : state) {
        auto demodulator = make(rate);
        for (size_t at = 0; at < pcm.size(); at += block)
            demodulator->ProcessSamples(pcm.data() + at, static_cast<unsigned>(std::min(block, pcm.size() - at)));
        benchmark::DoNotOptimize(demodulator.get());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pcm.size()));
}

void BM_Slicer(benchmark::State& state)
{
    run(state, [](int rate) { return std::make_unique<BitCounter>(rate, 3600); });
}

void BM_SlicerAndDecoder(benchmark::State& state)
{
    CountingSink sink;
    run(state, [&sink](int rate) { return std::make_unique<CMotorola>(&sink, rate); });
    if (sink.events == 0)
        state.SkipWithError("nothing decoded");
}

} // namespace

BENCHMARK(BM_Slicer)->Arg(48000)->Arg(22050)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlicerAndDecoder)->Arg(48000)->Arg(22050)->Unit(benchmark::kMillisecond);

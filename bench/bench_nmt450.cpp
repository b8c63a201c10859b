// Throughput of the FSK decoders that share every sample at 48000 Hz: NMT-450 and
// MPT 1327, each with its own FSK demodulator, on NMT-450 traffic.

#include "decoders/CMPT1327.h"
#include "decoders/CNMT450.h"
#include "signal/Nmt450Gen.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace velkor;

namespace {

class NullSink : public CmdSink {
public:
    void post(uint32_t, CmdPayload payload) override { benchmark::DoNotOptimize(payload); }
};

std::vector<int16_t> nmtAudio(int rate)
{
    std::mt19937_64 rng(11);
    testsignal::Bits bits;
    for (int i = 0; i < 30; ++i) // about 4 s
        nmtgen::append(bits, rng() >> 1);
    testsignal::FfskOptions options;
    options.rate = rate;
    return testsignal::toPcm16(testsignal::ffsk(bits, options));
}

template <typename Run> void blocks(benchmark::State& state, const std::vector<int16_t>& pcm, int rate, Run run)
{
    const size_t block = static_cast<size_t>(rate / 20);
    for (auto _ : state) {
        for (size_t at = 0; at < pcm.size(); at += block)
            run(pcm.data() + at, static_cast<unsigned>(std::min(block, pcm.size() - at)));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pcm.size()));
}

void BM_Nmt450AndMpt1327(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const auto pcm = nmtAudio(rate);
    NullSink sink;
    CNMT450 nmt(&sink, rate);
    CMPT1327 mpt(&sink, rate);
    blocks(state, pcm, rate, [&](const int16_t* samples, unsigned count) {
        nmt.ProcessSamples(samples, count);
        mpt.ProcessSamples(samples, count);
    });
}
BENCHMARK(BM_Nmt450AndMpt1327)->Arg(48000)->Arg(24000);

void BM_Nmt450(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const auto pcm = nmtAudio(rate);
    NullSink sink;
    CNMT450 nmt(&sink, rate);
    blocks(state, pcm, rate, [&](const int16_t* samples, unsigned count) { nmt.ProcessSamples(samples, count); });
}
BENCHMARK(BM_Nmt450)->Arg(48000);

void BM_Nmt450FramesFromBits(benchmark::State& state)
{
    std::mt19937_64 rng(12);
    testsignal::Bits bits;
    for (int i = 0; i < 30; ++i)
        nmtgen::append(bits, rng() >> 1);
    NullSink sink;
    CNMT450 nmt(&sink, 48000);
    for (auto _ : state)
        for (uint8_t b : bits)
            nmt.ProcessBit(b != 0);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(bits.size()));
}
BENCHMARK(BM_Nmt450FramesFromBits);

} // namespace

// Throughput of the demodulators and decoders on realistic control-channel audio.
#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"
#include "signal/DemoScenario.h"

#include <benchmark/benchmark.h>

namespace {

class NullSink : public CmdSink {
public:
    void post(uint32_t, CmdPayload) override {}
};

std::vector<int16_t> mpt1327Audio(int rate)
{
    auto cc = mptgen::demoControlChannel();
    testsignal::FfskOptions options;
    options.rate = rate;
    auto audio = testsignal::ffsk(cc.bits, options);
    testsignal::addNoise(audio, 20.0, 5);
    return testsignal::toPcm16(audio);
}

void FskMpt1327(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const auto pcm = mpt1327Audio(rate);
    NullSink sink;
    CMPT1327 decoder(&sink, rate);
    const size_t block = static_cast<size_t>(rate / 20);
    for (auto _ : state) {
        for (size_t i = 0; i + block <= pcm.size(); i += block)
            decoder.ProcessSamples(&pcm[i], static_cast<unsigned>(block));
    }
    const double samples = static_cast<double>(state.iterations()) * static_cast<double>(pcm.size() / block * block);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    state.counters["x_realtime"] = benchmark::Counter(samples / rate, benchmark::Counter::kIsRate);
}
BENCHMARK(FskMpt1327)->Arg(48000)->Arg(11025)->Unit(benchmark::kMillisecond);

// All three decoders on every block, in the decoder bank's order.
void ThreeDecoders(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const auto pcm = mpt1327Audio(rate);
    NullSink sink;
    CNMT450 nmt(&sink, rate);
    CMPT1327 mpt(&sink, rate);
    CMotorola motorola(&sink, rate);
    const size_t block = static_cast<size_t>(rate / 20);
    for (auto _ : state) {
        for (size_t i = 0; i + block <= pcm.size(); i += block) {
            nmt.ProcessSamples(&pcm[i], static_cast<unsigned>(block));
            mpt.ProcessSamples(&pcm[i], static_cast<unsigned>(block));
            motorola.ProcessSamples(&pcm[i], static_cast<unsigned>(block));
        }
    }
    const double samples = static_cast<double>(state.iterations()) * static_cast<double>(pcm.size() / block * block);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    state.counters["x_realtime"] = benchmark::Counter(samples / rate, benchmark::Counter::kIsRate);
}
BENCHMARK(ThreeDecoders)->Arg(48000)->Arg(11025)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// Throughput of the demodulators and decoders on realistic control-channel audio.
#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"
#include "signal/DemoScenario.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace velkor;

namespace {

class NullSink : public CmdSink {
public:
    void post(uint32_t, CmdPayload) override { }
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

// Lines a decoder makes out of one hour of noise, as a scanner gives it with the
// squelch open on an empty channel: white (args 0) or pink (args 1), at a fixed seed.
// Each decoder runs alone, so that every counter belongs to one decoder.
class CountingSink : public CmdSink {
public:
    void post(uint32_t code, CmdPayload) override
    {
        lines += code == CMDWND_ADD_LOGSTR;
        calls += code == CMDWND_REPORT_CALL;
    }
    long lines = 0;
    long calls = 0;
};

template <typename Decoder> void FalseLinesPerHour(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const bool pink = state.range(1) != 0;
    CountingSink sink;
    for (auto _ : state) {
        Decoder decoder(&sink, rate);
        std::mt19937 rng(3600);
        std::normal_distribution<double> gauss(0.0, 0.15);
        double b0 = 0, b1 = 0, b2 = 0; // Paul Kellet's economy pink filter
        std::vector<int16_t> block(static_cast<size_t>(rate / 20));
        for (long n = 0; n < 3600L * 20; ++n) {
            for (auto& sample : block) {
                double x = gauss(rng);
                if (pink) {
                    b0 = 0.99765 * b0 + x * 0.0990460;
                    b1 = 0.96300 * b1 + x * 0.2965164;
                    b2 = 0.57000 * b2 + x * 1.0526913;
                    x = (b0 + b1 + b2 + x * 0.1848) / 3.0;
                }
                sample = static_cast<int16_t>(std::clamp(std::lround(x * 32767.0), -32768L, 32767L));
            }
            decoder.ProcessSamples(block.data(), static_cast<unsigned>(block.size()));
        }
    }
    const double hours = static_cast<double>(state.iterations());
    state.counters["lines_per_hour"] = static_cast<double>(sink.lines) / hours;
    state.counters["calls_per_hour"] = static_cast<double>(sink.calls) / hours;
}
BENCHMARK_TEMPLATE(FalseLinesPerHour, CMPT1327)
    ->ArgNames({"rate", "pink"})
    ->Args({48000, 0})
    ->Args({22050, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_TEMPLATE(FalseLinesPerHour, CNMT450)
    ->ArgNames({"rate", "pink"})
    ->Args({48000, 0})
    ->Args({22050, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK_TEMPLATE(FalseLinesPerHour, CMotorola)
    ->ArgNames({"rate", "pink"})
    ->Args({48000, 0})
    ->Args({22050, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();

// Speed of the whole decoder bank: all three decoders on every block of a twentieth of
// a second, on the bank recording (Motorola, MPT 1327 and NMT-450 traffic with noise),
// on silence with noise, which is what a scanner gives between transmissions, and on
// the recording with digital zeros between its two halves, which is what a muted
// source or a squelched recording gives: the filters' state must not linger in
// subnormal numbers there. Every rate has all three, so that a case much slower than
// the noise at its rate shows.
// Items are samples; x_realtime says how many times faster than the audio plays.
#include "bank/DecoderBank.h"
#include "signal/BankScenario.h"

#include <benchmark/benchmark.h>

#include <map>

using namespace velkor;

namespace {

class NullSink : public CmdSink {
public:
    void post(uint32_t, CmdPayload) override { }
};

enum Input { kNoise, kTraffic, kTrafficAroundZeros };

const std::vector<int16_t>& audio(int rate, int input)
{
    static std::map<std::pair<int, int>, std::vector<int16_t>> cache;
    auto& pcm = cache[{rate, input}];
    if (pcm.empty()) {
        if (input == kTraffic) {
            pcm = testsignal::bankRecording(rate, 20.0);
        } else if (input == kTrafficAroundZeros) {
            const auto traffic = testsignal::bankRecording(rate, 20.0);
            const size_t half = traffic.size() / 2;
            pcm.assign(traffic.begin(), traffic.begin() + static_cast<ptrdiff_t>(half));
            // Long enough for the filters to decay below the smallest normal double.
            pcm.resize(half + static_cast<size_t>(rate) * 30, 0);
            pcm.insert(pcm.end(), traffic.begin() + static_cast<ptrdiff_t>(half), traffic.end());
        } else {
            testsignal::Samples hiss(static_cast<size_t>(rate) * 5, 0.0);
            hiss[0] = 0.3; // addNoise scales the noise to the non-silent samples
            testsignal::addNoise(hiss, 20.0, 7);
            pcm = testsignal::toPcm16(hiss);
        }
    }
    return pcm;
}

void Bank(benchmark::State& state)
{
    const int rate = static_cast<int>(state.range(0));
    const auto& pcm = audio(rate, static_cast<int>(state.range(1)));
    NullSink sink;
    DecoderBank bank(&sink, static_cast<unsigned>(rate), nullptr);
    const size_t block = DecoderBank::BlockSamples(static_cast<unsigned>(rate));
    size_t fed = 0;
    for (auto _ : state) {
        for (size_t i = 0; i + block <= pcm.size(); i += block)
            bank.FeedBlock(&pcm[i], block * sizeof(int16_t));
        fed += pcm.size() / block * block;
    }
    state.SetItemsProcessed(static_cast<int64_t>(fed));
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(fed) / rate, benchmark::Counter::kIsRate);
}
BENCHMARK(Bank)
    ->ArgNames({"rate", "input"})
    ->ArgsProduct({{48000, 22050, 10800}, {kNoise, kTraffic, kTrafficAroundZeros}})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

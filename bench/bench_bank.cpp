// Speed of the whole decoder bank: all three decoders on every block of a twentieth of
// a second, on the bank recording (Motorola, MPT 1327 and NMT-450 traffic with noise)
// and on silence with noise, which is what a scanner gives between transmissions.
// Items are samples; x_realtime says how many times faster than the audio plays.
#include "bank/DecoderBank.h"
#include "signal/BankScenario.h"

#include <benchmark/benchmark.h>

#include <map>

using namespace velkor;

namespace {

class NullSink : public CmdSink {
public:
    void post(uint32_t, CmdPayload) override {}
};

const std::vector<int16_t>& audio(int rate, bool traffic)
{
    static std::map<std::pair<int, bool>, std::vector<int16_t>> cache;
    auto& pcm = cache[{rate, traffic}];
    if (pcm.empty()) {
        if (traffic) {
            pcm = testsignal::bankRecording(rate, 20.0);
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
    const bool traffic = state.range(1) != 0;
    const auto& pcm = audio(rate, traffic);
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
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(fed) / rate, benchmark::Counter::kIsRate);
}
BENCHMARK(Bank)
    ->ArgNames({"rate", "traffic"})
    ->Args({48000, 1})
    ->Args({48000, 0})
    ->Args({22050, 1})
    ->Args({10800, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

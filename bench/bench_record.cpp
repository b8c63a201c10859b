// What recording a call costs the capture thread: the decoder bank on the bank
// recording at 48000 Hz, without a tap, and with the call recorder's tap while a call
// is open (every block copied into the writer's queue). The second may take at most
// 5 % more time per block than the first.
#include "bank/DecoderBank.h"
#include "record/CallRecorder.h"
#include "signal/BankScenario.h"

#include <benchmark/benchmark.h>

#include <filesystem>

using namespace velkor;

namespace {

class NullSink : public CmdSink {
public:
    void post(uint32_t, CmdPayload) override { }
};

class RecorderTap : public CaptureTap {
public:
    explicit RecorderTap(CallRecorder& recorder)
        : m_recorder(recorder)
    {
    }
    void captured(const int16_t* samples, unsigned count, CaptureTime) override { m_recorder.feed(samples, count); }

private:
    CallRecorder& m_recorder;
};

void BankRecording(benchmark::State& state)
{
    constexpr unsigned kRate = 48000;
    static const std::vector<int16_t> pcm = testsignal::bankRecording(kRate, 20.0);
    NullSink sink;
    DecoderBank bank(&sink, kRate, nullptr);
    SilentNotices quiet;
    const auto dir = std::filesystem::temp_directory_path() / "velkor-bench-record";
    record_options_s options;
    options.dir = dir.string();
    // Room for everything fed, so that no block is dropped instead of queued.
    options.queueSamples = static_cast<size_t>(kRate) * 3600;
    CallRecorder recorder(options, quiet);
    RecorderTap tap(recorder);
    if (state.range(0)) {
        bank.SetTap(&tap);
        record_call_s call;
        call.sampleRate = kRate;
        recorder.begin(call);
    }
    const size_t block = DecoderBank::BlockSamples(kRate);
    size_t fed = 0;
    for (auto _ : state) {
        for (size_t i = 0; i + block <= pcm.size(); i += block)
            bank.FeedBlock(&pcm[i], block * sizeof(int16_t));
        fed += pcm.size() / block * block;
    }
    state.SetItemsProcessed(static_cast<int64_t>(fed));
    state.counters["blocks_dropped"] = static_cast<double>(recorder.droppedBlocks());
    bank.SetTap(nullptr);
    recorder.close();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BankRecording)->ArgNames({"recording"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

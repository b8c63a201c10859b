// Cost of one tuning through a memory channel ("MD", "PM", "LON", "RM") against the
// simulated scanner: answering at once, and silent (the worst case, bounded by the
// read time-out of 500 ms per expected line).

#include "fixtures/ScannerSimulator.h"
#include "receiver/CUniden780.h"
#include "receiver/CUnidenDynamic.h"

#include <benchmark/benchmark.h>

using namespace velkor;

namespace {

void SetFrequencyMemoryAnswering(benchmark::State& state)
{
    ScannerSimulator sim(ScannerFamily::Uniden780);
    sim.setMode(static_cast<unsigned>(state.range(0)));
    CUniden780 driver(sim.devicePath(), 5, 19200, 8, 0, 2);
    driver.initialize();
    for (auto _ : state)
        benchmark::DoNotOptimize(driver.setFrequency(420.0125, 1));
}
// Mode 1: no keys; mode 12: search, resume and manual keys first.
BENCHMARK(SetFrequencyMemoryAnswering)->Arg(1)->Arg(12)->UseRealTime()->Unit(benchmark::kMillisecond);

void SetFrequencyMemorySilent(benchmark::State& state)
{
    ScannerSimulator sim(ScannerFamily::Uniden780);
    CUniden780 driver(sim.devicePath(), 5, 19200, 8, 0, 2);
    driver.initialize();
    sim.setBehaviour(ScannerBehaviour::Silent);
    for (auto _ : state)
        benchmark::DoNotOptimize(driver.setFrequency(420.0125, 1));
}
BENCHMARK(SetFrequencyMemorySilent)->Iterations(3)->Unit(benchmark::kMillisecond);

void SetFrequencyDirectAnswering(benchmark::State& state)
{
    ScannerSimulator sim(ScannerFamily::Uniden780);
    CUniden780 driver(sim.devicePath(), 0, 19200, 8, 0, 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(driver.setFrequency(420.0125, 1));
}
BENCHMARK(SetFrequencyDirectAnswering)->UseRealTime()->Unit(benchmark::kMillisecond);

void SetFrequencyDynamicSilent(benchmark::State& state)
{
    ScannerSimulator sim(ScannerFamily::Dynamic);
    sim.setBehaviour(ScannerBehaviour::Silent);
    CUnidenDynamic driver(sim.devicePath(), 19200, 8, 0, 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(driver.setFrequency(420.0125, 1));
}
BENCHMARK(SetFrequencyDynamicSilent)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

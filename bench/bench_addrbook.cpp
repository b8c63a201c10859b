// The address book at the size of a busy network: 100 systems x 10 fleets x 20 units.
// Loading and saving happen at start-up and shutdown; AddAddr and IsAddrChecked run for
// every reported call on the user-interface thread.
#include "addrbook/AddrBook.h"
#include "addrbook/AddrImport.h"
#include "notify/Notices.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

using namespace velkor;

namespace {
constexpr uint32_t kSystems = 100, kFleets = 10, kUnits = 20;

velkor::SilentNotices silent;

velkor_address_s address(size_t i)
{
    // Identities as a network hands them out, not in the order they sort in.
    const auto s = static_cast<uint32_t>(i % kSystems);
    const auto f = static_cast<uint32_t>((i / kSystems) % kFleets);
    const auto u = static_cast<uint32_t>((i / (kSystems * kFleets)) % kUnits);
    return {1000 + s * 7, 200 + f * 3, 1 + u * 13};
}

void fill(AddrBook& book)
{
    for (size_t i = 0; i < size_t{kSystems} * kFleets * kUnits; ++i)
        book.AddAddr(address(i));
}

struct BookFile {
    BookFile()
        : path((std::filesystem::temp_directory_path() /
                ("velkor-bench-addrbook-" + std::to_string(::getpid()) + ".ini"))
                   .string())
    {
        AddrBook book(silent);
        fill(book);
        (void)book.SaveData(path);
    }
    ~BookFile() { std::filesystem::remove(path); }
    std::string path;
};

const BookFile& bookFile()
{
    static BookFile file;
    return file;
}

void BM_LoadData(benchmark::State& state)
{
    const std::string& path = bookFile().path;
    for (auto _ : state) {
        auto book = std::make_unique<AddrBook>(silent);
        benchmark::DoNotOptimize(book->LoadData(path).ok());
        state.PauseTiming(); // freeing the nodes is not part of loading
        book.reset();
        state.ResumeTiming();
    }
}

void BM_SaveData(benchmark::State& state)
{
    AddrBook book(silent);
    (void)book.LoadData(bookFile().path);
    const std::string out = bookFile().path + ".out";
    for (auto _ : state)
        benchmark::DoNotOptimize(book.SaveData(out).ok());
    std::filesystem::remove(out);
}

void BM_AddAddrExistingUnit(benchmark::State& state)
{
    AddrBook book(silent);
    (void)book.LoadData(bookFile().path);
    size_t i = 0;
    for (auto _ : state)
        book.AddAddr(address(i++ * 7919 % (size_t{kSystems} * kFleets * kUnits)));
}

void BM_AddAddrNewUnit(benchmark::State& state)
{
    AddrBook book(silent);
    (void)book.LoadData(bookFile().path);
    uint32_t unit = 100000;
    size_t i = 0;
    for (auto _ : state) {
        velkor_address_s a = address(i++ * 7919 % (size_t{kSystems} * kFleets * kUnits));
        a.unit = unit++;
        book.AddAddr(a);
    }
}

void BM_IsAddrChecked(benchmark::State& state)
{
    AddrBook book(silent);
    (void)book.LoadData(bookFile().path);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(book.IsAddrChecked(address(i++ * 7919 % (size_t{kSystems} * kFleets * kUnits))));
}

void BM_IsAddrCheckedUnknown(benchmark::State& state)
{
    AddrBook book(silent);
    (void)book.LoadData(bookFile().path);
    for (auto _ : state)
        benchmark::DoNotOptimize(book.IsAddrChecked({1000 + 99 * 7, 200 + 9 * 3, 999999}));
}
// An alias list of 500 talkgroups, as RadioReference or SDRTrunk gives it, into a fleet
// of the loaded book (the goal: well under a second).
std::string aliasList(bool xml)
{
    std::string text = xml ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlist version=\"4\">\n"
                           : "Decimal,Hex,Alpha Tag,Mode,Description,Tag,Category\r\n";
    for (int tg = 1; tg <= 500; ++tg) {
        const std::string n = std::to_string(tg * 16);
        text += xml ? "  <alias group=\"Ops\" name=\"TG " + n + "\">\n    <id type=\"talkgroup\" value=\"" + n +
                "\"/>\n  </alias>\n"
                    : n + ",,TG " + n + ",A,\"Operations, group " + n + "\",Law Dispatch,County\r\n";
    }
    return xml ? text + "</playlist>\n" : text;
}

void BM_Import500(benchmark::State& state)
{
    const bool xml = state.range(0) != 0;
    const std::string text = aliasList(xml);
    for (auto _ : state) {
        state.PauseTiming();
        auto book = std::make_unique<AddrBook>(silent);
        (void)book->LoadData(bookFile().path);
        state.ResumeTiming();
        const auto r = importAliases(*book, text, {std::nullopt, 4660, 1});
        if (!r || r->created != 500)
            state.SkipWithError("the import failed");
        state.PauseTiming();
        book.reset();
        state.ResumeTiming();
    }
}
} // namespace

BENCHMARK(BM_Import500)->Arg(0)->Arg(1)->ArgName("xml")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddAddrExistingUnit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddAddrNewUnit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IsAddrChecked)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IsAddrCheckedUnknown)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

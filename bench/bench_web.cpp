// What the web page's live clients cost a run: velkor-track decoding a recording as
// fast as it can (the demo a hundred times over), without --http, and with --http and
// fifty clients on the live stream from the start. The median of five runs with the
// clients may be at most 5 % above the median without. The two kinds of run take turns
// (the machine's speed drifts), and the clients keep off the cores the run is on as
// far as the machine allows: on two cores they share the second with velkor-track's
// server thread.
//
//   bench_web VELKOR_TRACK DEMO_WAV
#include "fixtures/Process.h"
#include "web/HttpClient.h"

#include <benchmark/benchmark.h>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

namespace {

std::string g_track;
std::string g_input;
std::string g_dir;

void standAside()
{
    cpu_set_t last;
    CPU_ZERO(&last);
    CPU_SET(std::max(0L, sysconf(_SC_NPROCESSORS_ONLN) - 1), &last);
    sched_setaffinity(0, sizeof last, &last);
    const sched_param idle{};
    sched_setscheduler(0, SCHED_IDLE, &idle);
}

void Run(benchmark::State& state, bool web)
{
    const uint16_t port = testsignal::freePort();
    std::vector<std::string> args = {"--input", g_input};
    if (web)
        args.insert(args.end(), {"--http", "127.0.0.1:" + std::to_string(port)});
    for (auto _ : state) {
        std::vector<std::thread> clients;
        size_t events = 0;
        std::mutex mutex;
        std::condition_variable started;
        std::optional<std::chrono::steady_clock::time_point> start;
        int ready = 0;
        for (int i = 0; web && i < 50; ++i)
            clients.emplace_back([&, i] {
                // The clients stand for browsers on other computers: they keep to the
                // last core and run only when it has nothing else to do; they are made
                // before the run, which should not pay for their threads.
                standAside();
                std::unique_lock<std::mutex> lock(mutex);
                ++ready;
                started.notify_all();
                started.wait(lock, [&] { return start.has_value(); });
                const auto until = *start + std::chrono::seconds(10);
                lock.unlock();
                // The server listens before decoding begins; until then, try again.
                while (std::chrono::steady_clock::now() < until) {
                    testweb::Connection c(port);
                    // What Chromium asks for: the stream comes gzipped.
                    if (c.ok() &&
                        c.send(testweb::get("/api/stream?since=0", "Accept-Encoding: gzip, deflate, br, zstd\r\n"))) {
                        // One unpacks the stream and counts its events (the check that
                        // they come); the others let the bytes go as they come, a browser
                        // elsewhere costing this machine nothing more.
                        if (i > 0) {
                            c.closed(testweb::Ms(120000));
                            return;
                        }
                        const size_t got = c.countStreamEvents(testweb::Ms(120000));
                        const std::lock_guard<std::mutex> counting(mutex);
                        events += got;
                        return;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            });
        {
            std::unique_lock<std::mutex> lock(mutex);
            started.wait(lock, [&] { return ready == static_cast<int>(clients.size()); });
        }
        const auto begin = std::chrono::steady_clock::now();
        testsignal::ToolProcess track(g_track, args, testsignal::ProcessOptions{{}, g_dir, {}});
        {
            const std::lock_guard<std::mutex> lock(mutex);
            start = begin;
        }
        started.notify_all();
        const int status = track.wait(std::chrono::minutes(2));
        const auto end = std::chrono::steady_clock::now();
        for (auto& client : clients)
            client.join();
        if (status != 0)
            state.SkipWithError("velkor-track failed");
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        state.counters["events"] = static_cast<double>(events);
    }
}

} // namespace

BENCHMARK_CAPTURE(Run, without_http, false)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, http_50_clients, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    // Turns, not five of one kind and then five of the other.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    argc = static_cast<int>(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_web VELKOR_TRACK DEMO_WAV\n");
        return 2;
    }
    g_track = argv[1];
    testsignal::TempDir dir;
    g_dir = dir.path();
    g_input = dir.file("long.wav");
    if (std::system(("sox " + std::string(argv[2]) + " " + g_input + " repeat 99").c_str()) != 0)
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

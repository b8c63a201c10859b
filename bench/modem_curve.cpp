// Decode rate against signal-to-noise ratio, in the manner of a modem test bench:
// N messages are sent at each SNR (and start phase) and the decoded ones counted.
// Prints CSV: protocol,rate,snr_db,sent,decoded.
//
//   modem-curve [--protocol mpt1327] [--rates 48000,11025] [--snr 30:0:3] [--messages N] [--phases K]
#include "decoders/CMPT1327.h"
#include "signal/Mpt1327Gen.h"
#include "signal/RecordingSink.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <set>

namespace {

struct Trial {
    int rate;
    double snr;
    double leadSeconds;
    uint32_t seed;
    int messages;
};

template <typename Decoder>
std::vector<std::string> decode(const std::vector<int16_t>& pcm, int rate)
{
    testsignal::RecordingSink sink;
    Decoder decoder(&sink, rate);
    const size_t block = static_cast<size_t>(rate / 20);
    for (size_t i = 0; i < pcm.size(); i += block)
        decoder.ProcessSamples(&pcm[i], static_cast<unsigned>(std::min(block, pcm.size() - i)));
    return sink.lines();
}

// Go-to-channel messages to distinct units; one counts when its exact line appears.
int mpt1327Trial(const Trial& t)
{
    mptgen::ControlChannel cc(0x0089);
    std::set<std::string> expected;
    for (int m = 0; m < t.messages; ++m) {
        const unsigned unit = 100 + static_cast<unsigned>(m);
        cc.slot(mptgen::goToChannel(1, unit, 8000, 17));
        char line[128];
        std::snprintf(line, sizeof line, "GTC  | Go To Channel Voice             | Ch:  17 (  1) Org: 8000 Tar: %4u ",
                      unit);
        expected.insert(line);
    }
    testsignal::FfskOptions options;
    options.rate = t.rate;
    options.leadSeconds = t.leadSeconds;
    auto audio = testsignal::ffsk(cc.bits, options);
    testsignal::addNoise(audio, t.snr, t.seed);
    int decoded = 0;
    for (const auto& line : decode<CMPT1327>(testsignal::toPcm16(audio), t.rate))
        decoded += static_cast<int>(expected.erase(line));
    return decoded;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Decode rate against SNR"};
    std::string protocol = "mpt1327";
    std::vector<int> rates = {48000, 11025};
    double snrHigh = 30, snrLow = 0, snrStep = 3;
    int messages = 50;
    int phases = 4;
    app.add_option("--protocol", protocol)->check(CLI::IsMember({"mpt1327"}));
    app.add_option("--rates", rates)->delimiter(',');
    app.add_option("--snr-high", snrHigh);
    app.add_option("--snr-low", snrLow);
    app.add_option("--snr-step", snrStep);
    app.add_option("--messages", messages);
    app.add_option("--phases", phases, "start phases per SNR, spread over one bit");
    bool perPhase = false;
    app.add_flag("--per-phase", perPhase, "one row per start phase");
    CLI11_PARSE(app, argc, argv);

    std::printf("protocol,rate,snr_db,sent,decoded\n");
    for (int rate : rates) {
        for (double snr = snrHigh; snr >= snrLow - 1e-9; snr -= snrStep) {
            int sent = 0;
            int decoded = 0;
            for (int p = 0; p < phases; ++p) {
                const Trial t{rate, snr, 0.01 + p / (1200.0 * phases), static_cast<uint32_t>(1000 + p), messages};
                const int got = mpt1327Trial(t);
                if (perPhase)
                    std::printf("# phase %d/%d: %d of %d\n", p, phases, got, messages);
                sent += messages;
                decoded += got;
            }
            std::printf("%s,%d,%.1f,%d,%d\n", protocol.c_str(), rate, snr, sent, decoded);
            std::fflush(stdout);
        }
    }
    return 0;
}

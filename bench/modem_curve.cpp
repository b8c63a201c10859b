// Decode rate against signal-to-noise ratio, in the manner of a modem test bench:
// N messages are sent at each SNR (and start phase) and the ones decoded exactly are
// counted. Prints CSV: protocol,rate,snr_db,sent,decoded.
//
//   modem-curve [--protocols mpt1327,nmt450,motorola] [--rates 48000,11025]
//               [--snr-high 30] [--snr-low 0] [--snr-step 3] [--messages N] [--phases K]
//               [--clock FACTOR]
#include "signal/ModemTrial.h"

#include <CLI/CLI.hpp>

#include <cstdio>

int main(int argc, char** argv)
{
    CLI::App app{"Decode rate against SNR"};
    std::vector<std::string> protocols = {"mpt1327", "nmt450", "motorola"};
    std::vector<int> rates = {48000, 11025};
    double snrHigh = 30, snrLow = 0, snrStep = 3;
    int messages = 50;
    int phases = 4;
    bool perPhase = false;
    double clock = 1.0;
    app.add_option("--protocols", protocols)->delimiter(',')->check(CLI::IsMember({"mpt1327", "nmt450", "motorola"}));
    app.add_option("--rates", rates)->delimiter(',');
    app.add_option("--snr-high", snrHigh);
    app.add_option("--snr-low", snrLow);
    app.add_option("--snr-step", snrStep)->check(CLI::PositiveNumber);
    app.add_option("--messages", messages)->check(CLI::PositiveNumber);
    app.add_option("--phases", phases, "start phases per SNR, spread over one bit")->check(CLI::PositiveNumber);
    app.add_option("--clock", clock, "transmitter clock factor: tones and bit rate move together")
        ->check(CLI::Range(0.9, 1.1));
    app.add_flag("--per-phase", perPhase, "one comment row per start phase");
    CLI11_PARSE(app, argc, argv);

    std::printf("protocol,rate,snr_db,sent,decoded\n");
    for (const auto& name : protocols) {
        const auto protocol = modemtrial::protocolFromName(name);
        for (int rate : rates) {
            for (double snr = snrHigh; snr >= snrLow - 1e-9; snr -= snrStep) {
                modemtrial::Trial t;
                t.protocol = protocol;
                t.rate = rate;
                t.snrDb = snr;
                t.messages = messages;
                t.clockFactor = clock;
                const auto perPhaseCounts = modemtrial::runOverPhases(t, phases);
                int decoded = 0;
                for (size_t p = 0; p < perPhaseCounts.size(); ++p) {
                    if (perPhase)
                        std::printf("# phase %zu/%d: %d of %d\n", p, phases, perPhaseCounts[p], messages);
                    decoded += perPhaseCounts[p];
                }
                std::printf("%s,%d,%.1f,%d,%d\n", name.c_str(), rate, snr, messages * phases, decoded);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}

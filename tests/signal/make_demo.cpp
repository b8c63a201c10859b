// Writes samples/demo.wav and samples/demo.log (given samples/demo.wav): a few seconds of an MPT 1327 control channel
// as a scanner would hear it: system codewords, Aloha, a control channel marker, registrations, acknowledgements, a
// call set-up with its go-to-channel and its clear-down, status messages, and some noise; and the log lines
// velkor-decode must print for it.
#include "signal/DemoScenario.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace mptgen;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make-demo OUTPUT.wav [SNR_DB [RATE]]\n");
        return 2;
    }
    ControlChannel cc = demoControlChannel();
    testsignal::FfskOptions options;
    options.rate = argc > 3 ? atoi(argv[3]) : 48000;
    options.leadSeconds = 0.25;
    options.tailSeconds = 0.25;
    auto audio = testsignal::ffsk(cc.bits, options);
    testsignal::addNoise(audio, argc > 2 ? atof(argv[2]) : 25.0, 1327);
    testsignal::writeWav(argv[1], testsignal::toPcm16(audio), options.rate);
    std::string log = argv[1];
    if (log.size() > 4 && log.compare(log.size() - 4, 4, ".wav") == 0)
        log.resize(log.size() - 4);
    std::ofstream out(log + ".log", std::ios::binary);
    for (const std::string& line : demoLines())
        out << line << '\n';
    return out ? 0 : 1;
}

// Writes samples/demo.wav: a few seconds of an MPT 1327 control channel as a scanner
// would hear it: system codewords, Aloha, a control channel marker, registrations,
// acknowledgements, a call set-up with its go-to-channel and its clear-down, status
// messages, and some noise.
#include "signal/DemoScenario.h"

#include <cstdio>
#include <cstdlib>

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
    return 0;
}

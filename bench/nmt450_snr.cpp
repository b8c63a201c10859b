// Frames decoded out of frames sent, NMT-450 in white noise: the figures for the
// decoder's noise performance. Usage: nmt450-snr [frames per step] [rate] [noise seed]

#include "decoders/CNMT450.h"
#include "signal/Nmt450Gen.h"
#include "signal/RecordingSink.h"

#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 200;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 48000;
    const auto seed = static_cast<uint32_t>(argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 99);
    if (frames <= 0 || rate < 6000) {
        std::fprintf(stderr, "usage: nmt450-snr [frames > 0] [rate >= 6000] [noise seed]\n");
        return 2;
    }
    std::mt19937_64 rng(2026);
    std::vector<uint64_t> messages;
    testsignal::Bits bits;
    for (int i = 0; i < frames; ++i) {
        // Prefix 1 is logged with its raw words every time, so every frame shows.
        const uint64_t m = ((rng() >> 1) & ~(uint64_t{0xF} << 48)) | (uint64_t{1} << 48);
        messages.push_back(m);
        nmtgen::append(bits, m);
    }
    testsignal::FfskOptions options;
    options.rate = rate;
    options.leadSeconds = 0.01;
    const auto clean = testsignal::ffsk(bits, options);

    std::printf("rate %d Hz, %d frames per step\n SNR dB  decoded  exact  rate\n", rate, frames);
    for (double snr : {20.0, 17.0, 14.0, 11.0, 8.0, 5.0, 2.0, 0.0}) {
        auto samples = clean;
        testsignal::addNoise(samples, snr, seed);
        const auto pcm = testsignal::toPcm16(samples);
        testsignal::RecordingSink sink;
        CNMT450 decoder(&sink, rate);
        const size_t block = static_cast<size_t>(rate / 20);
        for (size_t at = 0; at < pcm.size(); at += block)
            decoder.ProcessSamples(pcm.data() + at, static_cast<unsigned>(std::min(block, pcm.size() - at)));
        // A frame counts as exact when its raw words come out as sent.
        int exact = 0;
        for (const auto& line : sink.lines()) {
            for (uint64_t m : messages) {
                char words[24];
                std::snprintf(words, sizeof words, "%04x %04x %04x %04x", static_cast<unsigned>(m >> 48 & 0xFFFF),
                              static_cast<unsigned>(m >> 32 & 0xFFFF), static_cast<unsigned>(m >> 16 & 0xFFFF),
                              static_cast<unsigned>(m & 0xFFFF));
                if (line.find(words) != std::string::npos) {
                    ++exact;
                    break;
                }
            }
        }
        std::printf(" %6.1f  %7lu  %5d  %5.1f%%\n", snr, decoder.acceptedFrames(), exact,
                    100.0 * exact / frames);
    }
    return 0;
}

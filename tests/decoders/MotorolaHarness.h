// Drives a CMotorola the way the radio does: words -> stream of bits, fed either bit by
// bit (as the slicer would hand them on) or through NRZ audio in capture-sized blocks.
#pragma once

#include "decoders/CMotorola.h"
#include "signal/Feed.h"
#include "signal/MotorolaGen.h"
#include "signal/Nrz.h"

#include <vector>

using namespace velkor;

namespace motoharness {

// The slicer hands on true for a negative run; a 1 on the air is a positive one.
inline void feedBits(CMotorola& decoder, const testsignal::Bits& air)
{
    testsignal::feedBits(decoder, air, true);
}

struct AudioOptions {
    int rate = 48000;
    double bt = 0.0; // 0: square edges
    double snrDb = 0.0;
    bool noise = false;
    uint32_t seed = 1;
    double leadSeconds = 0.0;
    bool inverted = false;
};

inline std::vector<int16_t> audio(const testsignal::Bits& air, const AudioOptions& o)
{
    testsignal::NrzOptions n;
    n.rate = o.rate;
    n.gaussianBt = o.bt;
    n.leadSeconds = o.leadSeconds;
    n.inverted = o.inverted;
    auto samples = testsignal::nrz(air, n);
    if (o.noise)
        testsignal::addNoise(samples, o.snrDb, o.seed);
    return testsignal::toPcm16(samples);
}

inline void feedAudio(CMotorola& decoder, const std::vector<int16_t>& pcm, int rate)
{
    testsignal::feedCapture(pcm, rate, 0, decoder);
}

} // namespace motoharness

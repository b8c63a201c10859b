// Correlates the audio with a sine and a cosine of each of two tones over a sliding
// window of one bit period and says, at every sample, which tone is the stronger. The
// products are kept in a ring and the sums updated incrementally, so a sample costs
// the same whatever the window length.
#pragma once

#include "dsp/KernelBuffer.h"

#include <array>
#include <cmath>

namespace velkor {

struct ToneCorrelator {
    ToneCorrelator(int rate, unsigned tone1, unsigned tone2, uint32_t length)
    {
        // The tables hold an exact whole number of cycles of both tones, so that stepping
        // through them cyclically gives phase-continuous references at any rate.
        const uint64_t cycle = std::lcm(cycleSamples(rate, tone1), cycleSamples(rate, tone2));
        tables = kernelBuffer<Quad>(cycle);
        rings = kernelBuffer<Quad>(length);
        for (uint64_t i = 0; i < cycle; ++i) {
            const double t = static_cast<double>(i) / rate;
            tables[i][kSin1] = std::sin(kTwoPi * tone1 * t);
            tables[i][kCos1] = std::cos(kTwoPi * tone1 * t);
            tables[i][kSin2] = std::sin(kTwoPi * tone2 * t);
            tables[i][kCos2] = std::cos(kTwoPi * tone2 * t);
        }
    }

    // True when the second tone is the stronger over the window that ends with x.
    bool process(double x)
    {
        Quad& ring = rings[slot];
        const Quad& table = tables[phase];
        // The sums in a local, so that the compiler need not fear the ring overlapping
        // them and keeps the four side by side.
        Quad s = sums;
        for (int r = 0; r < kRefs; ++r) {
            const double product = table[r] * x;
            s[r] = (s[r] - ring[r]) + product;
            ring[r] = product;
        }
        sums = s;
        if (++phase == tables.size())
            phase = 0;
        if (++slot == rings.size())
            slot = 0;
        // Comparing squared magnitudes decides exactly as comparing magnitudes.
        const double a1 = s[kSin1] * s[kSin1] + s[kCos1] * s[kCos1];
        const double a2 = s[kSin2] * s[kSin2] + s[kCos2] * s[kCos2];
        return a2 > a1;
    }

    enum { kSin1, kCos1, kSin2, kCos2, kRefs };
    // The four references side by side, so that one sample touches one cache line of
    // each array.
    using Quad = std::array<double, kRefs>;
    std::vector<Quad> tables; // whole cycles of both tones
    std::vector<Quad> rings;  // the products of the last bit period
    Quad sums{};
    size_t phase = 0; // position in the tables
    size_t slot = 0;  // position in the rings
};

} // namespace velkor

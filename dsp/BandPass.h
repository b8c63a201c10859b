// One second-order band-pass section (RBJ cookbook, 0 dB at the middle frequency): it
// keeps the noise of the rest of the sampled band out of the tone correlators, which
// matters most at low rates (at 11025 Hz white noise is 6 dB more per hertz than at
// 48000 Hz for the same signal-to-noise ratio).
#pragma once

#include "dsp/KernelBuffer.h"

#include <cmath>

namespace velkor {

struct BandPass {
    BandPass() = default;
    BandPass(double middle, int rate, double q)
    {
        const double w = kTwoPi * middle / rate;
        const double alpha = std::sin(w) / (2 * q);
        const double a0 = 1 + alpha;
        b0 = alpha / a0;
        b1 = 0.0;
        b2 = -alpha / a0;
        a1 = -2 * std::cos(w) / a0;
        a2 = (1 - alpha) / a0;
    }

    // Direct form II transposed.
    double process(double x)
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }

    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
};

} // namespace velkor

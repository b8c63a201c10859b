// Two-level (NRZ) audio, the way a 3600 bit/s Motorola control channel comes out of a
// scanner's discriminator: a 1 is a positive excursion, a 0 a negative one.
#pragma once

#include "signal/Audio.h"

namespace testsignal {

struct NrzOptions {
    int rate = 48000;
    double baud = 3600.0;
    double amplitude = 0.5;
    double leadSeconds = 0.0; // silence before the first bit (any fraction of a sample)
    double tailSeconds = 0.0; // silence after the last bit
    // Bandwidth-time product of a Gaussian low-pass that rounds the edges as a GMSK
    // transmitter and the receiver's audio path do; 0 leaves the edges square.
    double gaussianBt = 0.0;
    bool inverted = false; // a receiver that swaps the polarity
};

// Bit k occupies [lead + k/baud, lead + (k+1)/baud); with shaping, each bit's square
// pulse is smoothed by the Gaussian filter, computed exactly at every sample instant.
Samples nrz(const Bits& bits, const NrzOptions& options);

} // namespace testsignal

// Test-signal building blocks shared by every protocol generator: bits to audio,
// white noise at a chosen signal-to-noise ratio, and WAV output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsignal {

using Bits = std::vector<uint8_t>;
using Samples = std::vector<double>; // full scale is +-1.0

struct FfskOptions {
    int rate = 48000;
    double baud = 1200.0;
    double markHz = 1200.0;  // tone of a 1-bit
    double spaceHz = 1800.0; // tone of a 0-bit
    double amplitude = 0.5;
    double leadSeconds = 0.0;  // silence before the first bit (any fraction of a sample)
    double tailSeconds = 0.02; // silence after the last bit
};

// Phase-continuous two-tone FSK: bit k occupies [lead + k/baud, lead + (k+1)/baud).
Samples ffsk(const Bits& bits, const FfskOptions& options);
// The same with the default tones at rate, the first bit leadSeconds in.
Samples ffsk(const Bits& bits, int rate, double leadSeconds = 0.0);

// Adds white Gaussian noise so that mean signal power / noise power = snrDb. The
// signal power is measured over the samples that are not silent.
void addNoise(Samples& samples, double snrDb, uint32_t seed);

// Rounds to signed 16-bit with clipping.
std::vector<int16_t> toPcm16(const Samples& samples);

// Writes 16-bit mono PCM WAV; throws std::runtime_error on failure.
void writeWav(const std::string& path, const std::vector<int16_t>& pcm, int rate);

// count random bits, the same for the same seed.
Bits randomBits(size_t count, uint32_t seed);

// Appends the bits of value, most significant first.
void appendBits(Bits& bits, uint64_t value, int count);

} // namespace testsignal

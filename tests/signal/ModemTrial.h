// One modem trial: N distinct messages of a protocol, sent as audio at a sample rate,
// start phase and signal-to-noise ratio, decoded by all three decoders as the decoder
// bank runs them; counts the messages whose exact line came out. Shared by the
// regression tests of decode rate and the decode-rate curves in bench/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace modemtrial {

enum class Protocol { Mpt1327, Nmt450, Motorola };

Protocol protocolFromName(const std::string& name);

struct Trial {
    Protocol protocol = Protocol::Mpt1327;
    int rate = 48000;
    double snrDb = 100.0;       // signal power over white-noise power across the sampled band
    double phase = 0.0;         // start of the first bit, in bit periods after 10 ms
    double rateOffsetPpm = 0.0; // transmitter bit rate error
    // A sound card or transmitter clock off by this factor: tones and bit rate move
    // together, as in audio resampled by it.
    double clockFactor = 1.0;
    // The receiver's audio path, applied before the noise: a single-pole low-pass
    // (de-emphasis) and a second-order high-pass at these corners (0: none); then a DC
    // offset, in full scale, after it.
    double deemphasisHz = 0.0;
    double highPassHz = 0.0;
    double dcOffset = 0.0;
    uint32_t seed = 1;
    int messages = 50;
};

// Messages decoded exactly.
int run(const Trial& trial);

// The trial at `phases` start phases spread evenly over one bit (noise seed 1000 + k for
// the k-th); the messages decoded at each.
std::vector<int> runOverPhases(Trial trial, int phases);

} // namespace modemtrial

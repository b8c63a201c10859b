// Maximum-likelihood decoder for the convolutional code of NMT-450 frames.
//
// The code is rate one half and systematic with a memory of three bits: every
// information bit x travels with the parity bit NOT(x XOR x three steps earlier). The
// parity stream starts at step 0, the information stream is sent 13 bits behind it
// (interleaved into the odd data bits), and three zero tail bits close the trellis.
// Metrics are byte-wide with 255 meaning "unreachable": a parity mismatch costs 2 and
// an information mismatch 1, since the parity bit depends on two information bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velkor {

struct NmtViterbiResult {
    uint64_t bits = 0;   // b0 in the most significant bit; b0 is always 0
    unsigned errors = 0; // the metric of the best path
    float distance = 0;  // soft decoding: the reliabilities of the bits the path contradicts
};

class NmtViterbi {
public:
    static constexpr int kParityBits = 70;
    static constexpr int kInfoBits = 64;
    static constexpr int kSteps = 67; // the last three steps are the tail

    // q: parity stream q[0..69]; p: information stream p[0..63]. Only the lowest bit of
    // each entry counts. q[0], q[68], q[69] and p[0] are not used.
    static NmtViterbiResult Decode(const std::array<uint8_t, kParityBits>& q, const std::array<uint8_t, kInfoBits>& p);

    // The same code with a reliability per received bit (0: a guess, about 1: clean):
    // the best path contradicts the least sum of reliabilities. errors is counted on it
    // as Decode counts it.
    static NmtViterbiResult DecodeSoft(const std::array<uint8_t, kParityBits>& q,
                                       const std::array<uint8_t, kInfoBits>& p,
                                       const std::array<float, kParityBits>& qr,
                                       const std::array<float, kInfoBits>& pr);
};

} // namespace velkor

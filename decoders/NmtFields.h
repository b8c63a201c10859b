// The digits and numbers of one decoded NMT-450 message. The 64 decoded bits are read
// as sixteen 4-bit digits N0..N15 (N0 first). Decimal digits are sent with the value
// 10 standing for 0, so those fields pass through conv(), which swaps 0 and 10.
#pragma once

#include <cstdint>

namespace velkor {

struct nmt450_fields_s {
    uint16_t ch = 0;       // N0..N2, 0 becomes 200
    uint8_t P = 0;         // N3: prefix
    uint8_t TA = 0;        // N4, N5: traffic area
    uint8_t Z = 0;         // N6
    uint32_t X = 0;        // N7..N12: subscriber number
    uint16_t N = 0;        // N13..N15 as a channel, 0 becomes 200
    uint16_t lineCode = 0; // N13..N15 as 12 bits
    uint8_t L = 0;         // N15
    uint8_t A = 0;         // N10
    uint8_t H1 = 0;        // N6N7 as one byte
    uint8_t H3 = 0;        // N12
    uint16_t O[4] = {};    // the message as four 16-bit words
    unsigned EC = 0;       // Viterbi error count

    // Cuts the fields out of the 64 decoded bits (b0 in the most significant bit).
    static nmt450_fields_s Cut(uint64_t bits, unsigned errors);

    // The digit value 0 stands for 10 and 10 for 0.
    static unsigned conv(unsigned digit) { return digit == 0 ? 10 : digit == 10 ? 0 : digit; }
};

} // namespace velkor

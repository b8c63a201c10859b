// NMT-450 frames for tests: a message from named fields -> 64 bits (sixteen 4-bit
// digits, N0 first) -> the rate-1/2 convolutional code with its zero tail -> 140 data
// bits (parity on the even positions, information on the odd positions from d13 on)
// -> 166-bit frames (15 dotting bits, the 11-bit frame sync word, the data bits).
#pragma once

#include "signal/Audio.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace nmtgen {

constexpr uint16_t kFrameSync = 0x712; // 11100010010
constexpr int kDottingBits = 15;
constexpr int kSyncBits = 11;
constexpr int kDataBits = 140;
constexpr int kFrameBits = kDottingBits + kSyncBits + kDataBits; // 166

using Digits = std::array<uint8_t, 16>;

// Decimal digits go out with 10 in place of 0.
unsigned sendDigit(unsigned decimal);

// A channel as three digits (N0..N2 or N13..N15) in 12 bits: hundreds, tens, units;
// channel 200 is sent as 000. Power goes into bits 1-2 of the first digit.
uint16_t channelCode(unsigned channel, unsigned power = 0);

struct Message {
    unsigned ch = 1;     // N0..N2
    unsigned power = 0;  // bits 1-2 of N0
    unsigned prefix = 0; // N3
    unsigned ta = 0;     // N4, N5 as two decimal digits
    unsigned z = 0;      // N6
    unsigned x = 0;      // N7..N12 as six decimal digits
    unsigned tail = 0;   // N13..N15 as 12 bits: a line code, or channelCode(N)
};

Digits digits(const Message& message);
// Sixteen hexadecimal digits N0..N15, as a transmit log writes them ("201c61eb00028000").
uint64_t fromHex(std::string_view digits);
uint64_t pack(const Digits& digits); // N0 in the top four bits
uint64_t pack(const Message& message);

// The 140 data bits d0..d139 of a message. The first bit of the message must be 0: the
// code starts from the all-zero state and does not carry it.
std::array<uint8_t, kDataBits> encode(uint64_t message);

struct FrameOptions {
    std::vector<int> flipDataBits; // indices 0..139 of data bits to invert
    uint16_t syncXor = 0;          // bits of the 11-bit sync word to invert
};

// One 166-bit frame.
testsignal::Bits frame(uint64_t message, const FrameOptions& options = {});
void append(testsignal::Bits& bits, uint64_t message, const FrameOptions& options = {});

} // namespace nmtgen

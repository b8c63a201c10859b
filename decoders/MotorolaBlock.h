// One block of the Motorola 3600 bit/s control channel, as it sits in the decoder's
// 96-bit register: 76 interleaved code bits, the sync byte 0xAC, 12 further bits.
//
// The 76 code bits are written on the air in 4 rows of 19 so that a burst of errors is
// spread over the block: the block position 4i + k travels as air bit i + 19k. In
// block order, even positions carry the data bits d[0..37] and each odd position
// 2m + 1 the check d[m] XOR d[m - 1] of a rate-1/2 code, which lets one wrong bit be
// found from its two failed neighbouring checks. d[0..26] are the word (16 bits of
// address, the flag, 10 bits of command, each masked so that an idle channel is not
// all zeros), d[27..36] a 10-bit checksum over them sent inverted; d[37] is unused.
#pragma once

#include "decoders/SoftBits.h"

#include <array>
#include <cstdint>

namespace velkor {

// A control word as the decoder hands it on.
struct motorola_word_s {
    uint16_t address = 0; // radio, talkgroup or system identity; 0xFFFF in a site announcement
    uint8_t flag = 0;     // 0 or 1
    uint16_t command = 0; // 10 bits; 380 ... 759 carry a channel number
    friend bool operator==(const motorola_word_s&, const motorola_word_s&) = default;
};

// The last 96 bits received, oldest bit in the top bit of the first word.
using MotorolaRegister = std::array<uint32_t, 3>;

namespace motorola {

constexpr uint8_t kSyncByte = 0xAC;

// The sync byte is in place when it ended 12 bits ago.
inline bool syncInPlace(const MotorolaRegister& r)
{
    return ((r[2] >> 12) & 0xFFu) == kSyncByte;
}

// De-interleaves, corrects a single error and tests the checksum of the 76 bits in
// front of the sync byte. False when the checksum fails; word is then untouched.
bool decodeBlock(const MotorolaRegister& r, motorola_word_s& word);

// Reliabilities of the last bits received (0: a guess, about 1: clean): the register's
// bit n (0 = oldest) is 95 - n bits before the newest.
struct MotorolaReliability : velkor::SoftBits<128> {
    float at(int n) const { return back(static_cast<unsigned>(95 - n)); }
};

// The same block decoded to the data bits that contradict the least sum of
// reliabilities of the received bits (the code has two states), then checked alike;
// false also when that sum is more than a few clean bits are worth.
bool decodeBlockSoft(const MotorolaRegister& r, const MotorolaReliability& reliability, motorola_word_s& word);

} // namespace motorola

} // namespace velkor

// Motorola 3600 bit/s control-channel words for tests, built the way a site sends
// them: word fields -> masks -> 10-bit checksum -> rate-1/2 code -> interleaving ->
// a continuous stream of frames (sync byte 0xAC + 76-bit block).
#pragma once

#include "signal/Audio.h"

#include <array>
#include <cstdint>
#include <vector>

namespace motogen {

struct Word {
    uint16_t address = 0;
    uint8_t flag = 0;
    uint16_t command = 0;
};

constexpr uint8_t kSync = 0xAC;
constexpr int kBlockBits = 76;
constexpr int kFrameBits = 84; // sync byte + block
// A block is decoded once the sync byte after it and 12 more bits have arrived.
constexpr int kReleaseBits = 8 + 12;

// The 38 coded data bits: 27 masked word bits, 10 inverted checksum bits, a spare 0.
std::array<uint8_t, 38> dataBits(const Word& word);
// Data bits spread by the rate-1/2 code, in block order (even: data, odd: checks).
testsignal::Bits codeBits(const std::array<uint8_t, 38>& data);
testsignal::Bits codeBits(const Word& word);
// The block in the order it is sent.
testsignal::Bits interleave(const testsignal::Bits& code);
testsignal::Bits block(const Word& word);

// Sync byte + block for every word, then the sync byte and 12 bits that release the
// last block.
testsignal::Bits stream(const std::vector<Word>& words);

// The words of the messages the decoder knows.
Word idle();
Word site(unsigned site);
Word systemId(uint16_t system);
std::vector<Word> systemAnnouncement(uint16_t system, uint16_t address);
std::vector<Word> affiliation(uint16_t radio, uint16_t group);
Word grant(uint16_t group, uint16_t channel, uint8_t flag = 1);
// A radio's own word ahead of a grant; its command is below the channel range.
Word radio(uint16_t radio, uint16_t command = 0x0A0);

// Joins word lists.
std::vector<Word> operator+(std::vector<Word> a, const std::vector<Word>& b);

} // namespace motogen

// MPT 1327 codewords for tests, built field by field with the bit numbering of the
// air interface: bit 1 is sent first, bits 1-48 carry information, 49-63 the check
// bits (the last one inverted) and 64 the even parity bit.
#pragma once

#include "signal/Audio.h"

#include <cstdint>

namespace mptgen {

constexpr uint16_t kPreambleEnd = 0xAAAA;
constexpr uint16_t kControlSync = 0xC4D7;
constexpr uint16_t kDataSync = 0x3B28;

// Sets codeword bits first..last to value.
uint64_t setField(uint64_t codeword, int first, int last, uint64_t value);
uint64_t getField(uint64_t codeword, int first, int last);

// Fills bits 49-64 from bits 1-48.
uint64_t complete(uint64_t codeword);

// A system codeword: flag, SYS, bits 17-32 chosen so that the whole window checks
// good while ending in the preamble end and the sync word.
uint64_t systemCodeword(uint16_t sys, bool flag = false, uint16_t sync = kControlSync);

// Address codewords, complete with check bits.
uint64_t goToChannel(unsigned pfix, unsigned ident1, unsigned ident2, unsigned chan, bool data = false);
// A category/type/function message; tail is bits 31-48 (18 bits).
uint64_t message(unsigned pfix, unsigned ident1, unsigned cat, unsigned type, unsigned func, uint32_t tail = 0);
// Category 0 type 3: CHAN in bits 31-40.
uint64_t misc(unsigned func, unsigned chan, unsigned pfix = 0, unsigned ident1 = 0);
uint64_t clearDown(unsigned channel, unsigned controlChannel);
uint64_t broadcast(unsigned sysdef, unsigned sys, unsigned chan, unsigned idRed = 0);
uint64_t dataCodeword(uint64_t bits2to48);

// 1010... preamble bits.
testsignal::Bits preamble(int count);
void append(testsignal::Bits& bits, uint64_t codeword);

// A control channel the way a site sends it: preamble, then slots of a system codeword
// followed by two address codewords. Messages fill the second codeword of each slot
// and the first when there are many; idle slots carry Aloha.
struct ControlChannel {
    uint16_t sys = 0x0089;
    unsigned controlChannel = 1;
    testsignal::Bits bits;

    explicit ControlChannel(uint16_t systemId, int preambleBits = 16);
    void slot(uint64_t first, uint64_t second);
    void slot(uint64_t message) { slot(aloha(), message); }
    uint64_t aloha() const;
};

} // namespace mptgen

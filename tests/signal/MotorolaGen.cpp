#include "signal/MotorolaGen.h"

namespace motogen {

namespace {
// The word's fields go on the air masked, the address with 0xCC38 and the command with
// 0xD5 (on the inverted air bits these are the familiar 0x33C7 and 0x32A), and the
// flag inverted.
constexpr uint16_t kAddressMask = 0xCC38;
constexpr uint16_t kCommandMask = 0x0D5;
// The 10-bit checksum over the 27 data bits: a state register from 0x36E, stepped
// before each bit with 0x44A fed back (its first states are 0x1B7, 0x2FE and 0x17F),
// summed where a data bit is 1 into an accumulator from 0x393; sent inverted.
constexpr unsigned kChecksumState = 0x36E;
constexpr unsigned kChecksumStart = 0x393;
constexpr unsigned kChecksumFeedback = 0x44A;

void put(std::array<uint8_t, 38>& d, int first, int count, unsigned value)
{
    for (int i = 0; i < count; ++i)
        d[static_cast<size_t>(first + i)] = static_cast<uint8_t>((value >> (count - 1 - i)) & 1u);
}
} // namespace

std::array<uint8_t, 38> dataBits(const Word& word)
{
    std::array<uint8_t, 38> d{};
    put(d, 0, 16, word.address ^ kAddressMask);
    d[16] = word.flag ? 0 : 1;
    put(d, 17, 10, (word.command ^ kCommandMask) & 0x3FFu);

    unsigned state = kChecksumState;
    unsigned sum = kChecksumStart;
    for (size_t i = 0; i < 27; ++i) {
        state = (state & 1u) ? (state ^ kChecksumFeedback) >> 1 : state >> 1;
        if (d[i])
            sum ^= state;
    }
    put(d, 27, 10, ~sum & 0x3FFu);
    return d;
}

testsignal::Bits codeBits(const Word& word)
{
    return codeBits(dataBits(word));
}

testsignal::Bits codeBits(const std::array<uint8_t, 38>& d)
{
    testsignal::Bits code;
    uint8_t previous = 0;
    for (uint8_t bit : d) {
        code.push_back(bit);
        code.push_back(static_cast<uint8_t>(bit ^ previous));
        previous = bit;
    }
    return code;
}

testsignal::Bits interleave(const testsignal::Bits& code)
{
    testsignal::Bits air(kBlockBits);
    for (int i = 0; i < 19; ++i)
        for (int k = 0; k < 4; ++k)
            air[static_cast<size_t>(i + 19 * k)] = code[static_cast<size_t>(4 * i + k)];
    return air;
}

testsignal::Bits block(const Word& word)
{
    return interleave(codeBits(word));
}

testsignal::Bits stream(const std::vector<Word>& words)
{
    testsignal::Bits bits;
    for (const Word& w : words) {
        testsignal::appendBits(bits, kSync, 8);
        const auto b = block(w);
        bits.insert(bits.end(), b.begin(), b.end());
    }
    testsignal::appendBits(bits, kSync, 8);
    testsignal::appendBits(bits, 0xA5A, 12);
    return bits;
}

Word idle()
{
    return {0x1F00, 0, 0x2F8};
}

Word site(unsigned site)
{
    return {0xFFFF, 0, static_cast<uint16_t>(0x360 + site)};
}

Word systemId(uint16_t system)
{
    return {system, 0, 0x32B};
}

std::vector<Word> systemAnnouncement(uint16_t system, uint16_t address)
{
    return {{system, 1, 0x308}, {address, 1, 0x30B}};
}

std::vector<Word> affiliation(uint16_t radio, uint16_t group)
{
    return {{radio, 1, 0x308}, {group, 1, 0x310}};
}

Word grant(uint16_t group, uint16_t channel, uint8_t flag)
{
    return {group, flag, channel};
}

Word radio(uint16_t radio, uint16_t command)
{
    return {radio, 1, command};
}

std::vector<Word> operator+(std::vector<Word> a, const std::vector<Word>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace motogen

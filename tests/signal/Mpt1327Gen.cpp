#include "signal/Mpt1327Gen.h"

#include <map>
#include <stdexcept>
#include <tuple>

namespace mptgen {

uint64_t setField(uint64_t codeword, int first, int last, uint64_t value)
{
    const int width = last - first + 1;
    const uint64_t mask = ((uint64_t{1} << width) - 1) << (64 - last);
    return (codeword & ~mask) | ((value << (64 - last)) & mask);
}

uint64_t getField(uint64_t codeword, int first, int last)
{
    const int width = last - first + 1;
    return (codeword >> (64 - last)) & ((uint64_t{1} << width) - 1);
}

namespace {
struct Field {
    int first, last;
    uint64_t value;
};
// An address codeword (bit 1 set) with the given fields, complete with check bits.
uint64_t address(std::initializer_list<Field> fields)
{
    uint64_t cw = setField(0, 1, 1, 1);
    for (const Field& f : fields)
        cw = setField(cw, f.first, f.last, f.value);
    return complete(cw);
}
} // namespace

uint64_t complete(uint64_t codeword)
{
    // Long division by x^15+x^14+x^13+x^11+x^4+x^2+1 over the 48 information bits.
    uint32_t r = 0;
    for (int i = 1; i <= 48; ++i) {
        const uint32_t feedback = ((r >> 14) ^ getField(codeword, i, i)) & 1u;
        r = (r << 1) & 0x7FFF;
        if (feedback)
            r ^= 0x6815;
    }
    codeword = setField(codeword, 49, 63, r ^ 1u); // the last check bit goes out inverted
    int ones = 0;
    for (int i = 1; i <= 63; ++i)
        ones += static_cast<int>(getField(codeword, i, i));
    return setField(codeword, 64, 64, ones & 1);
}

uint64_t systemCodeword(uint16_t sys, bool flag, uint16_t sync)
{
    static std::map<std::tuple<uint16_t, bool, uint16_t>, uint64_t> solved;
    const auto key = std::make_tuple(sys, flag, sync);
    if (auto it = solved.find(key); it != solved.end())
        return it->second;
    uint64_t base = setField(0, 1, 1, flag ? 1 : 0);
    base = setField(base, 2, 16, sys);
    base = setField(base, 33, 48, kPreambleEnd);
    for (uint32_t spare = 0; spare < 0x10000; ++spare) {
        const uint64_t candidate = complete(setField(base, 17, 32, spare));
        if (getField(candidate, 49, 64) == sync) {
            solved[key] = candidate;
            return candidate;
        }
    }
    throw std::logic_error("no system codeword for this identity");
}

uint64_t goToChannel(unsigned pfix, unsigned ident1, unsigned ident2, unsigned chan, bool data)
{
    return address(
        {{2, 8, pfix}, {9, 21, ident1}, {22, 22, 0}, {23, 23, data ? 1u : 0u}, {24, 33, chan}, {34, 46, ident2}});
}

uint64_t message(unsigned pfix, unsigned ident1, unsigned cat, unsigned type, unsigned func, uint32_t tail)
{
    return address(
        {{2, 8, pfix}, {9, 21, ident1}, {22, 22, 1}, {23, 25, cat}, {26, 27, type}, {28, 30, func}, {31, 48, tail}});
}

uint64_t misc(unsigned func, unsigned chan, unsigned pfix, unsigned ident1)
{
    return message(pfix, ident1, 0, 3, func, chan << 8);
}

uint64_t clearDown(unsigned channel, unsigned controlChannel)
{
    return address({{2, 11, channel}, {12, 21, controlChannel}, {22, 22, 1}, {23, 25, 0}, {26, 27, 3}, {28, 30, 2}});
}

uint64_t broadcast(unsigned sysdef, unsigned sys, unsigned chan, unsigned idRed)
{
    return address({{2, 6, sysdef},
                    {7, 21, sys},
                    {22, 22, 1},
                    {23, 25, 0},
                    {26, 27, 3},
                    {28, 30, 4},
                    {31, 48, (chan << 8) | idRed}});
}

uint64_t dataCodeword(uint64_t bits2to48)
{
    return complete(setField(0, 2, 48, bits2to48));
}

testsignal::Bits preamble(int count)
{
    testsignal::Bits bits;
    for (int i = 0; i < count; ++i)
        bits.push_back(static_cast<uint8_t>((i + 1) & 1));
    return bits;
}

void append(testsignal::Bits& bits, uint64_t codeword)
{
    testsignal::appendBits(bits, codeword, 64);
}

ControlChannel::ControlChannel(uint16_t systemId, int preambleBits)
    : sys(systemId)
    , bits(preamble(preambleBits))
{
}

uint64_t ControlChannel::aloha() const
{
    // ALH with WT 6 and N 3, as sites commonly send it.
    return message(0x2A, 0x1555, 0, 0, 0, (6u << 11) | 3u);
}

void ControlChannel::slot(uint64_t first, uint64_t second)
{
    append(bits, systemCodeword(sys));
    append(bits, first);
    append(bits, second);
}

} // namespace mptgen

#include "decoders/NmtFields.h"

namespace velkor {

namespace {
unsigned digit(uint64_t bits, int n)
{
    return static_cast<unsigned>(bits >> (60 - 4 * n)) & 0xFu;
}

uint16_t channel(uint64_t bits, int first)
{
    const unsigned c = (digit(bits, first) & 1u) * 100 + digit(bits, first + 1) * 10 + digit(bits, first + 2);
    return static_cast<uint16_t>(c == 0 ? 200 : c);
}
} // namespace

nmt450_fields_s nmt450_fields_s::Cut(uint64_t bits, unsigned errors)
{
    nmt450_fields_s f;
    for (int i = 0; i < 4; ++i)
        f.O[i] = static_cast<uint16_t>(bits >> (48 - 16 * i));
    f.ch = channel(bits, 0);
    f.P = static_cast<uint8_t>(digit(bits, 3));
    f.TA = static_cast<uint8_t>(conv(digit(bits, 4)) * 10 + conv(digit(bits, 5)));
    f.Z = static_cast<uint8_t>(digit(bits, 6));
    for (int n = 7; n <= 12; ++n)
        f.X = f.X * 10 + conv(digit(bits, n));
    f.N = channel(bits, 13);
    f.lineCode = f.O[3] & 0x0FFFu;
    f.L = static_cast<uint8_t>(digit(bits, 15));
    f.A = static_cast<uint8_t>(digit(bits, 10));
    f.H1 = static_cast<uint8_t>(digit(bits, 6) << 4 | digit(bits, 7));
    f.H3 = static_cast<uint8_t>(digit(bits, 12));
    f.EC = errors;
    return f;
}

} // namespace velkor

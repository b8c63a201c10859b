#include "decoders/MotorolaBlock.h"

namespace motorola {

namespace {
constexpr int kBlockBits = 76;
constexpr int kRows = 4;
constexpr int kColumns = 19;
constexpr int kDataBits = 38;
constexpr int kWordBits = 27;
constexpr int kCheckBits = 10;

constexpr uint16_t kChecksumState = 0x36E;
constexpr uint16_t kChecksumStart = 0x393;
constexpr uint16_t kChecksumTaps = 0x44A;

constexpr uint16_t kAddressMask = 0xCC38;
constexpr uint16_t kCommandMask = 0x0D5;

inline unsigned registerBit(const MotorolaRegister& r, int n)
{
    return (r[static_cast<unsigned>(n) / 32] >> (31 - n % 32)) & 1u;
}

unsigned field(const std::array<uint8_t, kDataBits>& d, int first, int count)
{
    unsigned value = 0;
    for (int i = first; i < first + count; ++i)
        value = (value << 1) | d[static_cast<unsigned>(i)];
    return value;
}
} // namespace

bool decodeBlock(const MotorolaRegister& r, motorola_word_s& word)
{
    // Two spare places beyond the block receive the last data bit's check updates.
    std::array<uint8_t, 80> b{};
    for (int i = 0; i < kColumns; ++i)
        for (int k = 0; k < kRows; ++k)
            b[static_cast<unsigned>(4 * i + k)] = static_cast<uint8_t>(registerBit(r, i + kColumns * k));
    static_assert(kRows * kColumns == kBlockBits);

    // Take each data bit as received and remove it from the two checks it enters; what
    // stays set at an odd position is a failed check.
    std::array<uint8_t, kDataBits> d{};
    for (unsigned j = 0; j < kDataBits; ++j) {
        const unsigned p = 2 * j;
        if (b[p]) {
            d[j] = 1;
            b[p] ^= 1;
            b[p + 1] ^= 1;
            b[p + 3] ^= 1;
        }
    }
    // A wrong data bit fails both of its checks; a wrong check bit fails only itself.
    for (unsigned j = 0; j < kDataBits; ++j) {
        if (b[2 * j + 1] && b[2 * j + 3]) {
            d[j] ^= 1;
            b[2 * j + 1] = 0;
            b[2 * j + 3] = 0;
        }
    }

    uint16_t state = kChecksumState;
    uint16_t sum = kChecksumStart;
    for (unsigned i = 0; i < kWordBits; ++i) {
        state = (state & 1u) ? static_cast<uint16_t>((state ^ kChecksumTaps) >> 1) : static_cast<uint16_t>(state >> 1);
        if (d[i])
            sum ^= state;
    }
    const unsigned received = ~field(d, kWordBits, kCheckBits) & ((1u << kCheckBits) - 1);
    if (sum != received)
        return false;

    word.address = static_cast<uint16_t>(field(d, 0, 16) ^ kAddressMask);
    word.flag = d[16] ? 0 : 1;
    word.command = static_cast<uint16_t>(field(d, 17, 10) ^ kCommandMask);
    return true;
}

} // namespace motorola

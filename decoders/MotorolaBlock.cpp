#include "decoders/MotorolaBlock.h"

namespace velkor {

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

// A block decoded by reliabilities is taken only when the bits its code sequence
// contradicts are worth no more than three clean ones: on white noise that keeps false
// words at none an hour, and costs the decoding rate nothing measurable.
constexpr float kSoftLimit = 3.0f;

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

static bool checkWord(const std::array<uint8_t, kDataBits>& d, motorola_word_s& word);

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

    return checkWord(d, word);
}

static bool checkWord(const std::array<uint8_t, kDataBits>& d, motorola_word_s& word)
{
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

bool decodeBlockSoft(const MotorolaRegister& r, const MotorolaReliability& reliability, motorola_word_s& word)
{
    // Received bits with their reliabilities, in block order; the two places beyond
    // the block are never received.
    std::array<uint8_t, kBlockBits> b{};
    std::array<float, kBlockBits> w{};
    for (int i = 0; i < kColumns; ++i) {
        for (int k = 0; k < kRows; ++k) {
            const int air = i + kColumns * k;
            b[static_cast<unsigned>(4 * i + k)] = static_cast<uint8_t>(registerBit(r, air));
            w[static_cast<unsigned>(4 * i + k)] = reliability.at(air);
        }
    }
    // The state is the previous data bit (0 before the first). Data bit j travels at
    // 2j and enters the checks at 2j + 1 (with bit j - 1) and 2j + 3 (with bit j + 1).
    std::array<float, 2> metric{0.0f, 1e30f};
    std::array<std::array<uint8_t, 2>, kDataBits> from{};
    for (unsigned j = 0; j < kDataBits; ++j) {
        std::array<float, 2> next{};
        for (unsigned x = 0; x <= 1; ++x) {
            const float own = (x != b[2 * j]) ? w[2 * j] : 0.0f;
            float best = 1e30f;
            for (unsigned s = 0; s <= 1; ++s) {
                const float check = ((x ^ s) != b[2 * j + 1]) ? w[2 * j + 1] : 0.0f;
                const float candidate = metric[s] + own + check;
                if (candidate < best) {
                    best = candidate;
                    from[j][x] = static_cast<uint8_t>(s);
                }
            }
            next[x] = best;
        }
        metric = next;
    }
    unsigned state = metric[1] < metric[0] ? 1u : 0u;
    // Noise, whose bits are all doubtful alike, leaves a long way to the nearest code
    // sequence; a few doubtful bits of a signal do not.
    if (metric[state] > kSoftLimit)
        return false;
    std::array<uint8_t, kDataBits> d{};
    for (unsigned j = kDataBits; j-- > 0;) {
        d[j] = static_cast<uint8_t>(state);
        state = from[j][state];
    }
    return checkWord(d, word);
}

} // namespace motorola

} // namespace velkor

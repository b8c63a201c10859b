#include "signal/Nmt450Gen.h"

#include <stdexcept>
#include <string>

namespace nmtgen {

unsigned sendDigit(unsigned decimal)
{
    return decimal == 0 ? 10 : decimal;
}

uint16_t channelCode(unsigned channel, unsigned power)
{
    const unsigned c = channel == 200 ? 0 : channel;
    if (c > 199)
        throw std::invalid_argument("channel out of range");
    const unsigned first = (c / 100) | ((power & 3u) << 1);
    return static_cast<uint16_t>(first << 8 | ((c / 10) % 10) << 4 | (c % 10));
}

Digits digits(const Message& m)
{
    Digits d{};
    // Three digits of 12 bits from `at`, the first from the top four.
    const auto three = [&d](size_t at, unsigned bits) {
        for (size_t i = 0; i < 3; ++i)
            d[at + i] = static_cast<uint8_t>((bits >> (8 - 4 * i)) & 0xF);
    };
    three(0, channelCode(m.ch, m.power));
    d[3] = static_cast<uint8_t>(m.prefix & 0xF);
    d[4] = static_cast<uint8_t>(sendDigit((m.ta / 10) % 10));
    d[5] = static_cast<uint8_t>(sendDigit(m.ta % 10));
    d[6] = static_cast<uint8_t>(m.z & 0xF);
    unsigned x = m.x;
    for (int n = 12; n >= 7; --n) {
        d[static_cast<size_t>(n)] = static_cast<uint8_t>(sendDigit(x % 10));
        x /= 10;
    }
    three(13, m.tail);
    return d;
}

uint64_t pack(const Digits& digits)
{
    uint64_t bits = 0;
    for (uint8_t d : digits)
        bits = bits << 4 | (d & 0xFu);
    return bits;
}

uint64_t fromHex(std::string_view text)
{
    if (text.size() != 16 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
        throw std::invalid_argument("a message is 16 hexadecimal digits");
    return std::stoull(std::string(text), nullptr, 16);
}

uint64_t pack(const Message& message)
{
    return pack(digits(message));
}

std::array<uint8_t, kDataBits> encode(uint64_t message)
{
    if (message >> 63)
        throw std::invalid_argument("the first message bit must be 0");
    // x[i] is information bit i; the encoder starts and ends in the all-zero state.
    auto x = [message](int i) -> unsigned {
        return i < 0 || i >= 64 ? 0u : static_cast<unsigned>(message >> (63 - i)) & 1u;
    };
    std::array<uint8_t, kDataBits> d{};
    for (int i = 0; i < 70; ++i)
        d[static_cast<size_t>(2 * i)] = static_cast<uint8_t>((x(i) ^ x(i - 3)) ^ 1u);
    for (int i = 0; i < 64; ++i)
        d[static_cast<size_t>(2 * i + 13)] = static_cast<uint8_t>(x(i));
    return d;
}

testsignal::Bits frame(uint64_t message, const FrameOptions& options)
{
    testsignal::Bits bits;
    append(bits, message, options);
    return bits;
}

void append(testsignal::Bits& bits, uint64_t message, const FrameOptions& options)
{
    for (int i = 0; i < kDottingBits; ++i)
        bits.push_back(static_cast<uint8_t>((i + 1) & 1));
    testsignal::appendBits(bits, (kFrameSync ^ options.syncXor) & 0x7FFu, kSyncBits);
    auto data = encode(message);
    for (int index : options.flipDataBits) {
        if (index < 0 || index >= kDataBits)
            throw std::invalid_argument("data bit index out of range");
        data[static_cast<size_t>(index)] ^= 1u;
    }
    bits.insert(bits.end(), data.begin(), data.end());
}

} // namespace nmtgen

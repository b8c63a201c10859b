#include "signal/Nmt450Gen.h"

#include <stdexcept>

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
    const uint16_t ch = channelCode(m.ch, m.power);
    d[0] = static_cast<uint8_t>(ch >> 8);
    d[1] = static_cast<uint8_t>((ch >> 4) & 0xF);
    d[2] = static_cast<uint8_t>(ch & 0xF);
    d[3] = static_cast<uint8_t>(m.prefix & 0xF);
    d[4] = static_cast<uint8_t>(sendDigit((m.ta / 10) % 10));
    d[5] = static_cast<uint8_t>(sendDigit(m.ta % 10));
    d[6] = static_cast<uint8_t>(m.z & 0xF);
    unsigned x = m.x;
    for (int n = 12; n >= 7; --n) {
        d[static_cast<size_t>(n)] = static_cast<uint8_t>(sendDigit(x % 10));
        x /= 10;
    }
    d[13] = static_cast<uint8_t>((m.tail >> 8) & 0xF);
    d[14] = static_cast<uint8_t>((m.tail >> 4) & 0xF);
    d[15] = static_cast<uint8_t>(m.tail & 0xF);
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
    if (text.size() != 16)
        throw std::invalid_argument("a message has 16 digits");
    uint64_t bits = 0;
    for (char c : text) {
        unsigned v;
        if (c >= '0' && c <= '9')
            v = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            v = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            v = static_cast<unsigned>(c - 'A' + 10);
        else
            throw std::invalid_argument("not a hexadecimal digit");
        bits = bits << 4 | v;
    }
    return bits;
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

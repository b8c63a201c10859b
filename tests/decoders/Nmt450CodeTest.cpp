// The convolutional code and its decoder, with frames from an independent encoder.

#include "decoders/NmtFields.h"
#include "decoders/NmtViterbi.h"
#include "signal/Nmt450Gen.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace velkor;

namespace {

struct Streams {
    std::array<uint8_t, NmtViterbi::kParityBits> q{};
    std::array<uint8_t, NmtViterbi::kInfoBits> p{};
};

Streams split(const std::array<uint8_t, nmtgen::kDataBits>& d)
{
    Streams s;
    for (size_t i = 0; i < s.q.size(); ++i)
        s.q[i] = d[2 * i];
    for (size_t i = 0; i < s.p.size(); ++i)
        s.p[i] = d[2 * i + 13];
    return s;
}

NmtViterbiResult decode(const std::array<uint8_t, nmtgen::kDataBits>& d)
{
    const Streams s = split(d);
    return NmtViterbi::Decode(s.q, s.p);
}

std::array<uint8_t, nmtgen::kDataBits> withFlips(uint64_t message, std::initializer_list<int> dataBits)
{
    auto d = nmtgen::encode(message);
    for (int i : dataBits)
        d[static_cast<size_t>(i)] ^= 1u;
    return d;
}

int infoBit(int i)
{
    return 2 * i + 13;
}
int parityBit(int i)
{
    return 2 * i;
}

TEST(Nmt450Code, ErrorFreeFramesDecodeWithNoErrors)
{
    std::mt19937_64 rng(7);
    for (int n = 0; n < 200; ++n) {
        const uint64_t message = rng() >> 1; // b0 is never sent
        const auto result = decode(nmtgen::encode(message));
        EXPECT_EQ(result.errors, 0u);
        EXPECT_EQ(result.bits, message);
        EXPECT_EQ(result.bits >> 63, 0u);
    }
}

// What osmocom-analog's NMT encoder sent (its transmit log gives the digits, our
// recording of its audio the 140 coded bits).
TEST(Nmt450Code, MatchesAnIndependentEncoder)
{
    struct Vector {
        const char* digits;
        const char* coded;
    };
    const Vector vectors[] = {
        {"201c61eb00028000",
         "1010001010001010111010000000000000010111000010010100100010010111110001101111101010101010"
         "1010001000001000111011101010101010101010101010101010"},
        {"201461eb00028000",
         "1010001010001010111010001000001000010011000010010100100010010111110001101111101010101010"
         "1010001000001000111011101010101010101010101010101010"},
        {"201c611234567000",
         "1010001010001010111010000000000000010111000010011110000010111010100100001110001001011001"
         "0000101100110001010000111111101010101010101010101010"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.digits);
        const std::string coded = v.coded;
        ASSERT_EQ(coded.size(), 140u);
        std::array<uint8_t, nmtgen::kDataBits> received{};
        for (size_t i = 0; i < coded.size(); ++i)
            received[i] = coded[i] == '1';
        EXPECT_EQ(nmtgen::encode(nmtgen::fromHex(v.digits)), received);
        const auto result = decode(received);
        EXPECT_EQ(result.errors, 0u);
        EXPECT_EQ(result.bits, nmtgen::fromHex(v.digits));
    }
}

TEST(Nmt450Code, ErrorCountIsTheBestPathMetricAndTiesKeepTheLowerNumbers)
{
    const uint64_t message = nmtgen::fromHex("201c611234567000");
    const auto bit = [](int k) { return uint64_t{1} << (63 - k); };
    const int k = 10;
    struct Case {
        const char* name;
        std::array<uint8_t, nmtgen::kDataBits> received;
        unsigned errors;
        uint64_t bits;
    };
    const Case cases[] = {
        {"one information bit", withFlips(message, {infoBit(20)}), 1, message},
        {"one parity bit", withFlips(message, {parityBit(20)}), 2, message},
        {"six information bits",
         withFlips(message, {infoBit(3), infoBit(12), infoBit(21), infoBit(30), infoBit(39), infoBit(48)}), 6, message},
        {"three parity bits", withFlips(message, {parityBit(5), parityBit(25), parityBit(45)}), 6, message},
        {"seven information bits",
         withFlips(message, {infoBit(3), infoBit(12), infoBit(21), infoBit(30), infoBit(39), infoBit(48), infoBit(57)}),
         7, message},
        {"three parity and one information bit",
         withFlips(message, {parityBit(5), parityBit(25), parityBit(45), infoBit(60)}), 7, message},
        // The trellis is not forced back to state 0: a path leaving it in the tail is cheaper.
        {"a tail parity bit", withFlips(message, {parityBit(66)}), 1, message},
        // Bits the decoder does not read.
        {"unused bits", withFlips(message, {parityBit(0), parityBit(68), parityBit(69), infoBit(0), 1, 3, 5, 7, 9, 11}),
         0, message},
        // Flipping information bits k and k + 3 changes parity bits k and k + 6 only. With
        // errors in parity bit k and information bit k + 3, both paths cost 3 (every other
        // path more) and meet again at step k + 6, from predecessors that differ in bit 2;
        // the lower-numbered one is kept, so the path whose bit k + 3 is 0 wins, right or
        // wrong.
        {"tie: sent 0", withFlips(0, {parityBit(k), infoBit(k + 3)}), 3, 0},
        {"tie: sent bits k and k + 3", withFlips(bit(k) | bit(k + 3), {parityBit(k), infoBit(k + 3)}), 3, 0},
        // The trellis is left open at its end, so several end states can share the best
        // metric; the lowest-numbered one is traced back. State 0 (the sent path) against
        // state 4 (bit 62 and a tail bit set):
        {"end state tie: parity 62", withFlips(0, {parityBit(62)}), 2, 0},
        // state 0 is reached with bits 58 and 61 set, state 1 by the sent bits and the
        // last tail bit set.
        {"end state tie: parity 58 and 67", withFlips(0, {parityBit(58), parityBit(67)}), 3, bit(58) | bit(61)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = decode(c.received);
        EXPECT_EQ(result.errors, c.errors);
        EXPECT_EQ(result.bits, c.bits);
    }
}

TEST(Nmt450Fields, DigitsAreCutAndConverted)
{
    struct Case {
        const char* digits;
        unsigned ch, P, TA, Z, X, N, lineCode, L, A;
    };
    const Case cases[] = {
        {"201c611234567000", 1, 12, 61, 1, 234567, 200, 0x000, 0, 5},
        {"0003a0a1a3a5a190", 200, 3, 10, 10, 103050, 190, 0x190, 0, 10},
        {"1996ff0000000100", 199, 6, 165, 0, 1111110, 100, 0x100, 0, 0},
        {"ffff0afffffff999", 265, 15, 100, 15, 1666665, 199, 0x999, 9, 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.digits);
        const auto f = nmt450_fields_s::Cut(nmtgen::fromHex(c.digits), 4);
        EXPECT_EQ((std::array<unsigned, 9>{f.ch, f.P, f.TA, f.Z, f.X, f.N, f.lineCode, f.L, f.A}),
                  (std::array<unsigned, 9>{c.ch, c.P, c.TA, c.Z, c.X, c.N, c.lineCode, c.L, c.A}));
        EXPECT_EQ(f.EC, 4u);
    }
}

TEST(Nmt450Code, SoftDecodingWeighsEachBitByItsReliability)
{
    // Four parity and two information bits wrong: a byte metric of 10. The soft path
    // contradicts exactly them, and costs what they were worth.
    const uint64_t message = nmtgen::fromHex("201c611234567000");
    const std::initializer_list<int> wrong = {parityBit(4),  parityBit(20), parityBit(36),
                                              parityBit(52), infoBit(10),   infoBit(40)};
    const Streams s = split(withFlips(message, wrong));
    for (float doubt : {0.1f, 0.5f, 1.0f}) {
        SCOPED_TRACE(doubt);
        std::array<float, NmtViterbi::kParityBits> qr;
        std::array<float, NmtViterbi::kInfoBits> pr;
        qr.fill(1.0f);
        pr.fill(1.0f);
        for (int i : {4, 20, 36, 52})
            qr[static_cast<size_t>(i)] = doubt;
        for (int i : {10, 40})
            pr[static_cast<size_t>(i)] = doubt;
        const auto result = NmtViterbi::DecodeSoft(s.q, s.p, qr, pr);
        EXPECT_EQ(result.bits, message);
        EXPECT_EQ(result.errors, 10u);
        EXPECT_FLOAT_EQ(result.distance, 6 * doubt);
    }
}

} // namespace

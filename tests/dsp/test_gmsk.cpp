// The zero-crossing slicer: bits at the bit rate, values from the sign, a bit grid
// that follows the signal's own crossings, and block boundaries that do not matter.
#include "dsp/CGMSKDemodulator.h"
#include "signal/Feed.h"
#include "signal/Nrz.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

class BitCollector : public CGMSKDemodulator {
public:
    using CGMSKDemodulator::CGMSKDemodulator;
    void ProcessBit(bool bit, float) override { bits += bit ? '1' : '0'; }
    std::string bits;
};

std::vector<int16_t> run(int n, int16_t v)
{
    return std::vector<int16_t>(static_cast<size_t>(n), v);
}

std::vector<int16_t> operator+(std::vector<int16_t> a, const std::vector<int16_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void feed(CGMSKDemodulator& d, const std::vector<int16_t>& s, size_t block = 0)
{
    testsignal::feedEvery(block ? block : std::max<size_t>(s.size(), 1), s.data(), s.size(), d);
}

using testsignal::randomBits;

// The slicer hands on 1 for a negative run; the air's 1 is positive.
std::string sliced(const testsignal::Bits& air)
{
    std::string s;
    for (uint8_t b : air)
        s += b ? '0' : '1';
    return s;
}

TEST(GmskSlicer, SteadyLevelsGiveBitsAtTheBitRate)
{
    BitCollector negative(36000, 3600);
    feed(negative, run(1800, -700));
    EXPECT_EQ(negative.bits, std::string(180, '1'));

    BitCollector zero(36000, 3600); // zero counts as non-negative
    feed(zero, run(1800, 0));
    EXPECT_EQ(zero.bits, std::string(180, '0'));
}

TEST(GmskSlicer, RunsGiveTheirRoundedNumberOfBits)
{
    // 36000 Hz: ten samples a bit. Once the moving sum has settled, runs of 2, 1 and 3
    // bits come out as such.
    BitCollector d(36000, 3600);
    feed(d, run(100, 1000) + run(20, -1000) + run(10, 1000) + run(30, -1000) + run(100, 1000));
    EXPECT_EQ(d.bits.find("0000000000110111"), 0u) << d.bits;
}

TEST(GmskSlicer, GlitchShorterThanHalfABitMakesNoBit)
{
    BitCollector d(36000, 3600);
    feed(d, run(100, 1000) + run(3, -1000) + run(100, 1000));
    EXPECT_EQ(d.bits.find('1'), std::string::npos) << d.bits;
}

TEST(GmskSlicer, EmptyBlockChangesNothing)
{
    BitCollector d(36000, 3600);
    feed(d, run(14, -3));
    const double before = d.timeAccumulator();
    const std::string bits = d.bits;
    d.ProcessSamples(nullptr, 0);
    EXPECT_EQ(d.bits, bits);
    EXPECT_EQ(d.timeAccumulator(), before);
}

TEST(GmskSlicer, BlockBoundariesAreInvisible)
{
    testsignal::NrzOptions o;
    o.rate = 22050;
    o.gaussianBt = 0.5;
    o.leadSeconds = 0.37 / 3600;
    auto audio = testsignal::nrz(randomBits(2000, 3), o);
    testsignal::addNoise(audio, 8.0, 4);
    const auto pcm = testsignal::toPcm16(audio);
    BitCollector whole(22050, 3600);
    feed(whole, pcm);
    for (size_t block : {1u, 2u, 7u, 1102u, 4096u}) {
        BitCollector split(22050, 3600);
        feed(split, pcm, block);
        EXPECT_EQ(split.bits, whole.bits) << "blocks of " << block;
        EXPECT_DOUBLE_EQ(split.timeAccumulator(), whole.timeAccumulator());
    }
}

TEST(GmskSlicer, LocksToEveryStartPhaseAtEveryOfferedRate)
{
    const auto air = randomBits(600, 11);
    const std::string sent = sliced(testsignal::Bits(air.begin() + 100, air.end()));
    for (int rate : testsignal::kOfferedRates) {
        for (int phase = 0; phase < 16; ++phase) {
            testsignal::NrzOptions o;
            o.rate = rate;
            o.gaussianBt = 0.5;
            o.leadSeconds = 0.002 + phase / (16.0 * 3600);
            o.tailSeconds = 0.002;
            BitCollector d(rate, 3600);
            feed(d, testsignal::toPcm16(testsignal::nrz(air, o)), static_cast<size_t>(rate / 20));
            EXPECT_NE(d.bits.find(sent), std::string::npos) << rate << " Hz, phase " << phase << "/16";
            EXPECT_GE(d.timeAccumulator(), -0.5 / 3600);
            EXPECT_LT(d.timeAccumulator(), 0.5 / 3600);
        }
    }
}

TEST(GmskSlicer, FollowsATransmitterClockOffBy100Ppm)
{
    // 20 s of random bits: 7 bit periods of drift against the sample clock.
    const auto air = randomBits(72000, 5);
    const std::string sent = sliced(testsignal::Bits(air.begin() + 100, air.end()));
    for (double ppm : {100.0, -100.0}) {
        testsignal::NrzOptions o;
        o.rate = 48000;
        o.baud = 3600.0 * (1 + ppm * 1e-6);
        o.gaussianBt = 0.5;
        o.tailSeconds = 0.002;
        BitCollector d(48000, 3600);
        feed(d, testsignal::toPcm16(testsignal::nrz(air, o)), 2400);
        EXPECT_NE(d.bits.find(sent), std::string::npos) << ppm << " ppm";
    }
}

TEST(GmskSlicer, WithoutAPositiveRateNothingIsDecodedAndNothingHangs)
{
    for (auto [rate, baud] : {std::pair{0, 3600}, {-8000, 3600}, {48000, 0}, {48000, -3600}}) {
        BitCollector d(rate, baud);
        feed(d, run(100, -5) + run(100, 5));
        EXPECT_EQ(d.bits, "") << rate << " " << baud;
    }
}

} // namespace

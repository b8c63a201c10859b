// The zero-crossing slicer: bits at the bit rate, values from the sign, and block
// boundaries that do not matter. Locking at every rate and start phase and following a
// transmitter's clock are kept by ModemBandsTest.cpp, on the decoded words.
#include "dsp/CGMSKDemodulator.h"
#include "signal/Feed.h"
#include "signal/Nrz.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velkor;

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
        split.ProcessSamples(nullptr, 0); // an empty block changes nothing
        feed(split, pcm, block);
        EXPECT_EQ(split.bits, whole.bits) << "blocks of " << block;
        EXPECT_DOUBLE_EQ(split.timeAccumulator(), whole.timeAccumulator());
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

// The zero-crossing slicer: runs of one sign measured in bit periods, the rounding
// remainder carried from run to run and from block to block.
#include "dsp/CGMSKDemodulator.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

class BitCollector : public CGMSKDemodulator {
public:
    using CGMSKDemodulator::CGMSKDemodulator;
    void ProcessBit(bool bit) override { bits += bit ? '1' : '0'; }
    std::string bits;
};

// n samples of value v
std::vector<int16_t> run(int n, int16_t v)
{
    return std::vector<int16_t>(static_cast<size_t>(n), v);
}

std::vector<int16_t> operator+(std::vector<int16_t> a, const std::vector<int16_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void feed(CGMSKDemodulator& d, const std::vector<int16_t>& s)
{
    d.ProcessSamples(s.data(), static_cast<unsigned>(s.size()));
}

constexpr double kSample36k = 1.0 / 36000.0;

struct RunCase {
    const char* name;
    std::vector<int16_t> samples;
    std::string bits;
    double remainderSamples; // accumulator afterwards, in samples of 1/36000 s
};

class SlicerRuns : public testing::TestWithParam<RunCase> {};

TEST_P(SlicerRuns, YieldRoundedBitsAndCarryTheRemainder)
{
    BitCollector d(36000, 3600);
    feed(d, GetParam().samples);
    EXPECT_EQ(d.bits, GetParam().bits);
    EXPECT_NEAR(d.timeAccumulator(), GetParam().remainderSamples * kSample36k, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    At36000Hz, SlicerRuns,
    testing::Values(RunCase{"OneBitPeriodNegative", run(10, -500), "1", 0},
                    RunCase{"FourteenSamplesOneBit", run(14, -500), "1", 4},
                    RunCase{"SixteenSamplesTwoBits", run(16, -500), "11", -4},
                    RunCase{"HalfBitTieRoundsUp", run(5, -1), "1", -5},
                    RunCase{"JustUnderHalfBitNothing", run(4, -1), "", 4},
                    RunCase{"ZeroIsNonNegative", run(10, 0), "0", 0},
                    RunCase{"ShortRunTimeComesEarlier", run(3, -9) + run(8, 9), "0", 1},
                    RunCase{"TwoShortRunsMakeOneBit", run(3, -9) + run(3, 9), "0", -4},
                    RunCase{"RemainderCarriesAcrossSigns", run(14, -7) + run(6, 7) + run(10, -7), "101", 0},
                    RunCase{"NegativeRemainderDelaysNextBit", run(16, -7) + run(8, 7), "11", 4},
                    RunCase{"ExtremeValues", run(10, -32768) + run(10, 32767), "10", 0},
                    RunCase{"NoSamples", {}, "", 0}),
    [](const testing::TestParamInfo<RunCase>& info) { return info.param.name; });

TEST(GmskSlicer, AllZeroBlockGivesZeroBitsAtTheBitRate)
{
    BitCollector d(36000, 3600);
    feed(d, run(1800, 0));
    EXPECT_EQ(d.bits, std::string(180, '0'));
}

TEST(GmskSlicer, EmptyBlockChangesNothing)
{
    BitCollector d(36000, 3600);
    feed(d, run(14, -3));
    const double before = d.timeAccumulator();
    d.ProcessSamples(nullptr, 0);
    EXPECT_EQ(d.bits, "1");
    EXPECT_EQ(d.timeAccumulator(), before);
}

TEST(GmskSlicer, RunSplitAcrossBlocksYieldsTheSameBits)
{
    // 16 negative samples then 24 positive ones, cut at every possible place.
    const auto signal = run(16, -100) + run(24, 100);
    BitCollector whole(36000, 3600);
    feed(whole, signal);
    ASSERT_EQ(whole.bits, "1100");
    for (size_t cut = 0; cut <= signal.size(); ++cut) {
        BitCollector split(36000, 3600);
        split.ProcessSamples(signal.data(), static_cast<unsigned>(cut));
        split.ProcessSamples(signal.data() + cut, static_cast<unsigned>(signal.size() - cut));
        EXPECT_EQ(split.bits, whole.bits) << "cut at " << cut;
    }
}

TEST(GmskSlicer, NextBlockStartsANewRunEvenWithTheSameSign)
{
    // Two runs of 0.7 bit: the first yields a bit and leaves -0.3, the second brings
    // it to +0.4, short of another bit: the same as one run of 1.4 bits.
    BitCollector split(36000, 3600);
    feed(split, run(7, -1));
    feed(split, run(7, -1));
    EXPECT_EQ(split.bits, "1");
    EXPECT_NEAR(split.timeAccumulator(), 4 * kSample36k, 1e-12);
}

class SlicerRate : public testing::TestWithParam<int> {};

TEST_P(SlicerRate, BitsFollowSampleTimeExactly)
{
    // Random runs of every length, in blocks of a twentieth of a second: however the
    // audio looks, the bits handed on match its duration at 3600 bit/s.
    const int rate = GetParam();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> length(1, 40);
    std::vector<int16_t> audio;
    int16_t sign = 1;
    while (audio.size() < static_cast<size_t>(rate) * 2) {
        audio.insert(audio.end(), static_cast<size_t>(length(rng)), static_cast<int16_t>(sign * 1000));
        sign = static_cast<int16_t>(-sign);
    }
    BitCollector d(rate, 3600);
    const size_t block = static_cast<size_t>(rate / 20);
    for (size_t at = 0; at < audio.size(); at += block) {
        const size_t n = std::min(block, audio.size() - at);
        d.ProcessSamples(audio.data() + at, static_cast<unsigned>(n));
        const double elapsed = static_cast<double>(at + n) / rate;
        const double owed = elapsed - static_cast<double>(d.bits.size()) / 3600.0;
        EXPECT_NEAR(owed, d.timeAccumulator(), 1e-9);
        EXPECT_GE(d.timeAccumulator(), -0.5 / 3600.0 - 1e-12);
        EXPECT_LT(d.timeAccumulator(), 0.5 / 3600.0);
    }
}

INSTANTIATE_TEST_SUITE_P(OfferedRates, SlicerRate, testing::Values(48000, 44100, 36000, 22050, 11025, 10800));

TEST(GmskSlicer, WithoutAPositiveRateNothingIsDecodedAndNothingHangs)
{
    for (auto [rate, baud] : {std::pair{0, 3600}, {-8000, 3600}, {48000, 0}, {48000, -3600}}) {
        BitCollector d(rate, baud);
        feed(d, run(100, -5) + run(100, 5));
        EXPECT_EQ(d.bits, "") << rate << " " << baud;
    }
}

} // namespace

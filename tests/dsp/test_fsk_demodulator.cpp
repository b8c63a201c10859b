// The FSK demodulator as a receiver sees it: tones in, bits out at the right samples.
#include "dsp/CFSKDemodulator.h"
#include "signal/Audio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace {

struct TimedBit {
    bool bit;
    size_t sample; // 1-based count of samples consumed when the bit was decided
    bool operator==(const TimedBit&) const = default;
};

class BitTimer : public CFSKDemodulator {
public:
    explicit BitTimer(int rate) : CFSKDemodulator(rate, 1200, 1800, 1200) {}
    void ProcessBit(bool bit) override { bits.push_back({bit, consumed}); }

    // Feeds the samples in blocks of blockSize, keeping count of samples consumed.
    void feed(const std::vector<int16_t>& pcm, size_t blockSize)
    {
        for (size_t i = 0; i < pcm.size(); i += blockSize) {
            const size_t n = std::min(blockSize, pcm.size() - i);
            for (size_t k = 0; k < n; ++k) {
                consumed = i + k + 1;
                ProcessSamples(&pcm[i + k], 1);
            }
        }
    }
    void feedBlocks(const std::vector<int16_t>& pcm, size_t blockSize)
    {
        // Whole blocks at a time: bit times are unknown, only values are compared.
        for (size_t i = 0; i < pcm.size(); i += blockSize)
            ProcessSamples(&pcm[i], static_cast<unsigned>(std::min(blockSize, pcm.size() - i)));
    }

    std::vector<TimedBit> bits;
    size_t consumed = 0;
};

std::vector<int16_t> tone(double hz, size_t count, int rate, double startPhase = 0.0)
{
    std::vector<int16_t> pcm(count);
    for (size_t n = 0; n < count; ++n)
        pcm[n] = static_cast<int16_t>(std::lround(16000.0 * std::sin(startPhase + 2.0 * M_PI * hz * n / rate)));
    return pcm;
}

TEST(FskDemodulator, SteadyTonesGiveTheirBitsFromTheStart)
{
    for (const auto& [hz, expected] : {std::pair{1200.0, true}, std::pair{1800.0, false}}) {
        BitTimer demod(48000);
        demod.feed(tone(hz, 4800, 48000), 4800);
        ASSERT_EQ(demod.bits.size(), 120u) << hz;
        for (size_t i = 0; i < demod.bits.size(); ++i) {
            EXPECT_EQ(demod.bits[i].bit, expected) << hz << " Hz, bit " << i;
            EXPECT_EQ(demod.bits[i].sample, 40 * (i + 1)) << hz << " Hz, bit " << i;
        }
    }
}

TEST(FskDemodulator, FirstBitOnTheNthSampleAtEveryOfferedRate)
{
    const std::pair<int, unsigned> rates[] = {{48000, 40}, {44100, 36}, {36000, 30}, {24000, 20}, {22050, 18},
                                              {21600, 18}, {12000, 10}, {11025, 9},  {10800, 9}};
    for (const auto& [rate, n] : rates) {
        BitTimer demod(rate);
        EXPECT_EQ(demod.samplesPerBit(), n) << rate;
        demod.feed(tone(1800, n, rate), 1);
        ASSERT_EQ(demod.bits.size(), 1u) << rate;
        EXPECT_EQ(demod.bits[0].sample, n) << rate;
    }
}

TEST(FskDemodulator, ClockMovesAfterOneBitsOnly)
{
    // A 1-bit whose run of 1-decisions reaches further into the past than the present
    // makes the clock run sooner (by up to 3 samples), as after a change from 1200 Hz
    // to 1800 Hz; steady tones and 0-bits never move it.
    std::set<long> risingSteps;
    std::set<long> fallingSteps;
    for (int offset = 0; offset < 40; ++offset) {
        for (bool rising : {true, false}) {
            const double first = rising ? 1800 : 1200;
            const double second = rising ? 1200 : 1800;
            std::vector<int16_t> pcm = tone(first, 2000 + offset, 48000);
            const double phase = 2.0 * M_PI * first * pcm.size() / 48000;
            auto rest = tone(second, 2000, 48000, phase);
            pcm.insert(pcm.end(), rest.begin(), rest.end());
            BitTimer demod(48000);
            demod.feed(pcm, pcm.size());
            for (size_t i = 1; i < demod.bits.size(); ++i) {
                const long step = static_cast<long>(demod.bits[i].sample - demod.bits[i - 1].sample);
                if (!demod.bits[i - 1].bit) {
                    EXPECT_EQ(step, 40) << "a 0-bit moved the clock, offset " << offset;
                } else {
                    EXPECT_GE(step, 37);
                    EXPECT_LE(step, 43);
                    (rising ? risingSteps : fallingSteps).insert(step);
                }
            }
        }
    }
    EXPECT_TRUE(risingSteps.count(40));
    EXPECT_TRUE(*fallingSteps.begin() < 40) << "no early correction after a falling change";
}

TEST(FskDemodulator, BlockBoundariesAreInvisible)
{
    testsignal::Bits bits;
    for (int i = 0; i < 400; ++i)
        bits.push_back(static_cast<uint8_t>((i * 7 + i / 3) % 5 < 2));
    testsignal::FfskOptions options;
    options.leadSeconds = 0.003;
    auto audio = testsignal::ffsk(bits, options);
    testsignal::addNoise(audio, 10.0, 7);
    const auto pcm = testsignal::toPcm16(audio);

    BitTimer reference(48000);
    reference.feed(pcm, pcm.size());
    ASSERT_GT(reference.bits.size(), 390u);
    for (size_t blockSize : {1u, 7u, 40u, 2400u, 4801u}) {
        BitTimer demod(48000);
        demod.feed(pcm, blockSize);
        EXPECT_EQ(demod.bits, reference.bits) << "block size " << blockSize;
        BitTimer whole(48000);
        whole.feedBlocks(pcm, blockSize);
        ASSERT_EQ(whole.bits.size(), reference.bits.size());
    }
}

TEST(FskDemodulator, EmptyBlockChangesNothing)
{
    BitTimer demod(48000);
    const auto pcm = tone(1200, 39, 48000);
    demod.ProcessSamples(pcm.data(), 39);
    demod.ProcessSamples(nullptr, 0);
    EXPECT_TRUE(demod.bits.empty());
    const int16_t one = pcm[0];
    demod.ProcessSamples(&one, 1);
    EXPECT_EQ(demod.bits.size(), 1u);
}

TEST(FskDemodulator, SamplesEnterTheCorrelatorsAsUnsignedOffsetValues)
{
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(1000), -0.969482421875);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(-1000), 0.969482421875);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(0), -1.0);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(-32768), 0.0);
}

} // namespace

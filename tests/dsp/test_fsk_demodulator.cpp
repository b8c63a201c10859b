// The FSK demodulator as a receiver sees it: tones in, bits out, whatever the phase,
// the blocks and the transmitter's clock. Its kernels have their own tests
// (test_dsp_kernels.cpp).
#include "dsp/CFSKDemodulator.h"
#include "signal/Feed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

class BitTimer : public CFSKDemodulator {
public:
    explicit BitTimer(int rate) : CFSKDemodulator(rate, 1200, 1800, 1200) {}
    void ProcessBit(bool bit, float) override { bits += bit ? '1' : '0'; }

    void feed(const std::vector<int16_t>& pcm) { feedBlocks(pcm, 1); }
    void feedBlocks(const std::vector<int16_t>& pcm, size_t blockSize)
    {
        testsignal::feedEvery(blockSize, pcm.data(), pcm.size(), *this);
    }

    std::string bits;
};

std::vector<int16_t> tone(double hz, size_t count, int rate)
{
    std::vector<int16_t> pcm(count);
    for (size_t n = 0; n < count; ++n)
        pcm[n] = static_cast<int16_t>(std::lround(16000.0 * std::sin(2.0 * M_PI * hz * n / rate)));
    return pcm;
}

using testsignal::randomBits;

TEST(FskDemodulator, LocksToEveryStartPhaseAtEveryOfferedRate)
{
    testsignal::Bits bits(24);
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = static_cast<uint8_t>((i + 1) & 1); // preamble
    const auto data = randomBits(300, 0xACE1);
    bits.insert(bits.end(), data.begin(), data.end());
    const std::string sent = testsignal::bitString(data);
    for (int rate : testsignal::kOfferedRates) {
        for (int phase = 0; phase < 16; ++phase) {
            BitTimer demod(rate);
            demod.feed(testsignal::toPcm16(testsignal::ffsk(bits, rate, 0.005 + phase / (16.0 * 1200.0))));
            EXPECT_NE(demod.bits.find(sent), std::string::npos) << rate << " Hz, phase " << phase << "/16";
        }
    }
}

TEST(FskDemodulator, BlockBoundariesAreInvisible)
{
    // One sample a call is the reference; every other block size must give the same bit
    // values, whether a block ends inside a bit or not.
    auto audio = testsignal::ffsk(randomBits(400, 0x1D2B), 48000, 0.003);
    testsignal::addNoise(audio, 10.0, 7);
    const auto pcm = testsignal::toPcm16(audio);

    BitTimer reference(48000);
    reference.feed(pcm);
    ASSERT_GT(reference.bits.size(), 390u);
    for (size_t blockSize : {size_t{1}, size_t{7}, size_t{160}, size_t{48000 / 20}, pcm.size()}) {
        BitTimer demod(48000);
        demod.feedBlocks(pcm, blockSize);
        EXPECT_EQ(demod.bits, reference.bits) << "block size " << blockSize;
    }
}

TEST(FskDemodulator, FollowsATransmitterClockOffBy100To200Ppm)
{
    // 20 s of random bits: up to 4.8 bit periods of drift against the sample clock.
    const auto air = randomBits(24000, 0xACE1);
    const std::string sent = testsignal::bitString(air).substr(100);
    for (int rate : {48000, 11025}) {
        for (double ppm : {100.0, -100.0, 200.0, -200.0}) {
            testsignal::FfskOptions o;
            o.rate = rate;
            o.baud = 1200.0 * (1 + ppm * 1e-6);
            testsignal::Samples audio = testsignal::ffsk(air, o);
            testsignal::addNoise(audio, 15.0, 3);
            BitTimer demod(rate);
            demod.feedBlocks(testsignal::toPcm16(audio), rate / 20);
            EXPECT_NE(demod.bits.find(sent), std::string::npos) << rate << " Hz, " << ppm << " ppm";
        }
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

TEST(FskDemodulator, SamplesEnterTheCorrelatorsAsTheSignedValuesTheyAre)
{
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(1000), 0.030517578125);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(-1000), -0.030517578125);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(0), 0.0);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(-32768), -1.0);
}

} // namespace

// The FSK demodulator as a receiver sees it: tones in, bits out at the right samples.
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
    void ProcessBit(bool bit) override
    {
        bits += bit ? '1' : '0';
        samples.push_back(consumed);
    }

    // One sample a call, so that each bit's sample is known.
    void feed(const std::vector<int16_t>& pcm)
    {
        for (size_t i = 0; i < pcm.size(); ++i) {
            consumed = i + 1;
            ProcessSamples(&pcm[i], 1);
        }
    }
    // Whole blocks at a time: bit times are unknown, only values are compared.
    void feedBlocks(const std::vector<int16_t>& pcm, size_t blockSize)
    {
        testsignal::feedEvery(blockSize, pcm.data(), pcm.size(), *this);
    }

    std::string bits;
    std::vector<size_t> samples; // of each bit: the 1-based count of samples consumed when it was decided
    size_t consumed = 0;
};

std::vector<int16_t> tone(double hz, size_t count, int rate, double startPhase = 0.0)
{
    std::vector<int16_t> pcm(count);
    for (size_t n = 0; n < count; ++n)
        pcm[n] = static_cast<int16_t>(std::lround(16000.0 * std::sin(startPhase + 2.0 * M_PI * hz * n / rate)));
    return pcm;
}

using testsignal::randomBits;

TEST(FskDemodulator, SteadyTonesGiveTheirBitsFromTheStart)
{
    for (const auto& [hz, expected] : {std::pair{1200.0, '1'}, std::pair{1800.0, '0'}}) {
        BitTimer demod(48000);
        demod.feed(tone(hz, 4800, 48000));
        EXPECT_EQ(demod.bits, std::string(120, expected)) << hz;
        for (size_t i = 0; i < demod.samples.size(); ++i)
            EXPECT_EQ(demod.samples[i], 40 * (i + 1)) << hz << " Hz, bit " << i;
    }
}

TEST(FskDemodulator, FirstBitAfterOneBitPeriodAtEveryOfferedRate)
{
    // The bit period is the exact fraction rate / 1200; the first bit comes on the
    // sample nearest to it.
    const std::pair<int, unsigned> rates[] = {{48000, 40}, {44100, 37}, {36000, 30}, {24000, 20}, {22050, 18},
                                              {21600, 18}, {12000, 10}, {11025, 9},  {10800, 9}};
    for (const auto& [rate, first] : rates) {
        BitTimer demod(rate);
        EXPECT_DOUBLE_EQ(demod.samplesPerBit(), rate / 1200.0) << rate;
        demod.feed(tone(1800, first, rate));
        ASSERT_EQ(demod.bits.size(), 1u) << rate;
        EXPECT_EQ(demod.samples[0], first) << rate;
    }
}

TEST(FskDemodulator, BitsFollowTheExactBitRateOfASteadyTone)
{
    // 10 s at 44100 Hz are 12000 bits, although no bit is a whole number of samples.
    BitTimer demod(44100);
    demod.feed(tone(1200, 441000, 44100));
    EXPECT_EQ(demod.bits, std::string(12000, '1'));
}

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

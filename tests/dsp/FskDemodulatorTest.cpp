// The FSK demodulator as a receiver sees it: tones in, bits out, whatever the blocks.
// Its kernels have their own tests (DspKernelsTest.cpp); locking at every rate and
// start phase is kept by ModemBandsTest.cpp.
#include "dsp/CFSKDemodulator.h"
#include "signal/Feed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace velkor;

namespace {

class BitTimer : public CFSKDemodulator {
public:
    explicit BitTimer(int rate)
        : CFSKDemodulator(rate, 1200, 1800, 1200)
    {
    }
    void ProcessBit(bool bit, float) override { bits += bit ? '1' : '0'; }

    std::string bits;
};

using testsignal::randomBits;

TEST(FskDemodulator, BlockBoundariesAreInvisible)
{
    // One sample a call is the reference; every other block size must give the same bit
    // values, whether a block ends inside a bit or not, and an empty block changes nothing.
    auto audio = testsignal::ffsk(randomBits(400, 0x1D2B), 48000, 0.003);
    testsignal::addNoise(audio, 10.0, 7);
    const auto pcm = testsignal::toPcm16(audio);

    BitTimer reference(48000);
    testsignal::feedEvery(1, pcm.data(), pcm.size(), reference);
    ASSERT_GT(reference.bits.size(), 390u);
    for (size_t blockSize : {size_t{7}, size_t{160}, size_t{48000 / 20}, pcm.size()}) {
        BitTimer demod(48000);
        for (size_t i = 0; i < pcm.size(); i += blockSize) {
            demod.ProcessSamples(nullptr, 0);
            demod.ProcessSamples(&pcm[i], static_cast<unsigned>(std::min(blockSize, pcm.size() - i)));
        }
        EXPECT_EQ(demod.bits, reference.bits) << "block size " << blockSize;
    }
}

TEST(FskDemodulator, SamplesEnterTheCorrelatorsAsTheSignedValuesTheyAre)
{
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(1000), 0.030517578125);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(-1000), -0.030517578125);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(0), 0.0);
    EXPECT_DOUBLE_EQ(CFSKDemodulator::sampleValue(-32768), -1.0);
}

} // namespace

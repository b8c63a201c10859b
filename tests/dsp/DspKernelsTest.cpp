// The demodulator kernels one at a time, each against what its job means: filter
// theory for the band-pass, tone and bit timing for the correlators and clock, the
// sent bits for the coherent detector and the sync search.
#include "dsp/BandPass.h"
#include "dsp/BitClock.h"
#include "dsp/FlushDenormals.h"
#include "dsp/MskDetector.h"
#include "dsp/ReliabilityScale.h"
#include "dsp/SyncSearch.h"
#include "dsp/ToneCorrelator.h"
#include "signal/Audio.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace velkor;

double sineAt(double hz, size_t n, int rate)
{
    return std::sin(2.0 * M_PI * hz * static_cast<double>(n) / rate);
}

TEST(DspKernels, BandPassGainIsTheBilinearBandPassOfQ125At1500Hz)
{
    for (int rate : {48000, 11025}) {
        for (double hz : {300.0, 1200.0, 1500.0, 1800.0, 3000.0}) {
            // The analog band-pass 1/(1 + Q^2 (W - 1/W)^2) at W = tan(pi f/fs) / tan(pi f0/fs).
            const double w = std::tan(M_PI * hz / rate) / std::tan(M_PI * 1500.0 / rate);
            BandPass band(1500.0, rate, 1.25);
            double power = 0.0; // over the second half second
            for (size_t n = 0; n < static_cast<size_t>(rate); ++n)
                power += std::pow(band.process(sineAt(hz, n, rate)), 2) * (n >= static_cast<size_t>(rate / 2));
            EXPECT_NEAR(std::sqrt(power / (rate - rate / 2) * 2.0),
                        1.0 / std::sqrt(1.0 + 1.5625 * (w - 1.0 / w) * (w - 1.0 / w)), 0.01)
                << rate << " Hz, " << hz;
        }
    }
}

TEST(DspKernels, CorrelatorsTurnToTheNewToneHalfAWindowAfterItCame)
{
    for (int rate : {48000, 22050, 11025}) {
        const auto length = static_cast<uint32_t>(std::lround(rate / 1200.0));
        ToneCorrelator tones(rate, 1800, 1200, length);
        size_t turned = 0;
        for (size_t n = 0; n < 20 * length; ++n) {
            const bool second = tones.process(sineAt(n < 10 * length ? 1800.0 : 1200.0, n, rate));
            EXPECT_TRUE(n < length || (n >= 10 * length && n < 11 * length) || second == (n >= 11 * length))
                << rate << " Hz, sample " << n;
            turned = second && turned == 0 && n >= 10 * length ? n : turned;
        }
        // Cross terms of the two tones in a mixed window move it by a few samples.
        EXPECT_NEAR(static_cast<double>(turned), 10.0 * length + length / 2, length / 4.0) << rate;
    }
}

TEST(DspKernels, ClockRunsAtTheExactBitPeriodFromItsFirstBit)
{
    // The first bit on the sample nearest one bit period; then a steady tone gives one
    // bit a period over 10 s (12000 bits), although no bit is whole samples.
    const std::pair<int, unsigned> rates[] = {{48000, 40}, {44100, 37}, {36000, 30}, {24000, 20}, {22050, 18},
                                              {21600, 18}, {12000, 10}, {11025, 9},  {10800, 9}};
    for (const auto& [rate, first] : rates) {
        BitClock clock(rate / 1200.0, static_cast<uint32_t>(std::lround(rate / 1200.0)), 0);
        std::vector<unsigned> due;
        for (unsigned n = 1; n <= 10u * static_cast<unsigned>(rate); ++n)
            if (clock.process(true)) {
                due.push_back(n);
                clock.restart();
            }
        ASSERT_EQ(due.size(), 12000u) << rate;
        EXPECT_EQ(due[0], first) << rate;
    }
}

TEST(DspKernels, ClockCentresItsCountedWindowOnTheBitsOfAnyPhaseAndTransmitterClock)
{
    for (int rate : {48000, 11025}) {
        const auto window = static_cast<uint32_t>(std::lround(rate / 1200.0));
        for (double ppm : {0.0, 200.0, -200.0}) {
            const double sent = rate / 1200.0 / (1 + ppm * 1e-6); // samples per bit sent
            for (double phase : {0.0, 0.3, 0.5, 0.8}) {
                BitClock clock(rate / 1200.0, window, window);
                unsigned off = 0; // bits after the first 1500 with two foreign decisions counted
                for (size_t n = 0; n < static_cast<size_t>(3000 * sent); ++n) {
                    if (clock.process((static_cast<long>(std::floor(static_cast<double>(n) / sent - phase)) & 1) !=
                                      0)) {
                        off += n > 1500 * sent && std::min(clock.ones, window - clock.ones) > 1 ? 1 : 0;
                        clock.restart();
                    }
                }
                EXPECT_EQ(off, 0u) << rate << " Hz, " << ppm << " ppm, phase " << phase;
            }
        }
    }
}

TEST(DspKernels, ReliabilityIsTheSizeAgainstTheRecentMeanACleanBitNearOne)
{
    ReliabilityScale scale;
    EXPECT_EQ(scale.process(0.0), 0.0f); // nothing to weigh yet
    for (int i = 0; i < 1000; ++i)
        scale.process(2.0);
    // The mean moves a 32nd of the way each time: 2, then 2 - 1/32, then + (4 - that)/32.
    const std::pair<double, double> steps[] = {{2.0, 0.8}, {1.0, 0.8 / 1.96875}, {4.0, 1.0}};
    for (const auto& [size, expected] : steps)
        EXPECT_NEAR(scale.process(size), expected, 1e-6) << size;
}

TEST(DspKernels, CoherentDetectorReadsCleanMskBitsOnceSettled)
{
    const testsignal::Bits sent = testsignal::randomBits(300, 0x51);
    for (int rate : {48000, 22050, 11025}) {
        const testsignal::Samples audio = testsignal::ffsk(sent, rate);
        MskDetector detector(rate, 1800, 1200, rate / 1200.0);
        size_t n = 0;
        for (size_t k = 0; k + 1 < sent.size(); ++k) {
            // Half a bit after the bit ended, at the fraction of a sample the clock is off.
            const double instant = (static_cast<double>(k) + 1.5) * rate / 1200.0;
            for (; n <= static_cast<size_t>(std::lround(instant)); ++n)
                detector.process(audio[n]);
            const MskDetector::Bit bit = detector.decide(n - 1, instant - static_cast<double>(n - 1));
            EXPECT_EQ(bit.settled, k >= 24) << rate << " Hz, bit " << k;
            EXPECT_TRUE(k < 24 || (bit.one == (sent[k] != 0) && bit.reliability > 0.5f)) << rate << " Hz, bit " << k;
        }
    }
}

TEST(DspKernels, SyncSearchOffersAPatternOncePerShowingWhileWaiting)
{
    constexpr uint32_t kPattern = 0xAAAAC4D7;
    struct Case {
        int rate;
        uint32_t damage; // preamble bits turned over
        bool waiting;
        unsigned offers;
    };
    for (const Case& c : {Case{48000, 0, true, 1}, Case{11025, 0x8100, true, 1}, Case{22050, 0x8101, true, 0},
                          Case{48000, 0, false, 0}}) {
        const double period = c.rate / 1200.0;
        const uint32_t sent = kPattern ^ (c.damage << 16);
        testsignal::Bits bits(120, 0); // the past must reach back over a whole window
        for (int k = 31; k >= 0; --k)
            bits.push_back(static_cast<uint8_t>((sent >> k) & 1u));
        bits.resize(bits.size() + 20, 0);
        SyncSearch search(period, {{kPattern, 0xFFFF, 2}});
        search.wait(c.waiting, false);
        unsigned offers = 0;
        for (size_t n = 0; n < static_cast<size_t>(static_cast<double>(bits.size()) * period); ++n) {
            const bool bit = bits[static_cast<size_t>(static_cast<double>(n) / period)] != 0;
            const SyncSearch::Found found = search.process(bit, bit, 0.0);
            if (found.kind == SyncSearch::Found::Offer) {
                ++offers;
                EXPECT_EQ(static_cast<uint32_t>(found.window), sent) << c.rate;
                EXPECT_NEAR(found.middle, 151.5 * period, 1.5) << c.rate; // the middle of the last pattern bit
            }
        }
        EXPECT_EQ(offers, c.offers) << c.rate << " Hz, damage " << c.damage;
    }
}

} // namespace

TEST(DspKernels, FlushToZeroHoldsInItsScopeOnlyAndLeavesNormalNumbersAlone)
{
    // Compared only outside the guards: denormals-are-zero would make any subnormal
    // compare equal to zero inside them.
    volatile double smallest = std::numeric_limits<double>::min(); // the smallest normal
    volatile double half = 0.5;
    double inside = -1.0, normal = -1.0, afterNested = -1.0;
    {
        const velkor::FlushDenormals flush;
        inside = smallest * half;
        normal = smallest * 2.0 * half;
        {
            const velkor::FlushDenormals nested;
        }
        afterNested = smallest * half;
    }
    EXPECT_EQ(inside, 0.0);
    EXPECT_EQ(normal, smallest);
    EXPECT_EQ(afterNested, 0.0) << "a nested guard must restore the outer guard's mode";
    EXPECT_GT(smallest * half, 0.0) << "the caller's mode must come back";
}

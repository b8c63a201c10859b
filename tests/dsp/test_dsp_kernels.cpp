// The kernels of the FFSK demodulator one at a time, each against what its job means:
// filter theory for the band-pass, tone and bit timing for the correlators and clock,
// the sent bits for the coherent detector and the sync search.
#include "dsp/BandPass.h"
#include "dsp/BitClock.h"
#include "dsp/MskDetector.h"
#include "dsp/SyncSearch.h"
#include "dsp/ToneCorrelator.h"
#include "signal/Audio.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace velkor;

double sineAt(double hz, size_t n, int rate) { return std::sin(2.0 * M_PI * hz * static_cast<double>(n) / rate); }

TEST(DspKernels, BandPassGainIsTheBilinearBandPassOfQ125At1500Hz)
{
    // The analog band-pass 1/(1 + Q^2 (W - 1/W)^2) at W = tan(pi f/fs) / tan(pi f0/fs).
    for (int rate : {48000, 11025}) {
        for (double hz : {300.0, 1200.0, 1500.0, 1800.0, 3000.0}) {
            const double w = std::tan(M_PI * hz / rate) / std::tan(M_PI * 1500.0 / rate);
            const double expected = 1.0 / std::sqrt(1.0 + 1.5625 * (w - 1.0 / w) * (w - 1.0 / w));
            BandPass band(1500.0, rate, 1.25);
            double power = 0.0;
            for (size_t n = 0; n < static_cast<size_t>(rate); ++n) {
                const double y = band.process(sineAt(hz, n, rate));
                power += n >= static_cast<size_t>(rate / 2) ? y * y : 0.0;
            }
            EXPECT_NEAR(std::sqrt(power / (rate - rate / 2) * 2.0), expected, 0.01) << rate << " Hz, " << hz;
        }
    }
}

TEST(DspKernels, CorrelatorsTurnToTheNewToneHalfAWindowAfterItCame)
{
    for (int rate : {48000, 22050, 11025}) {
        const auto length = static_cast<uint32_t>(std::lround(rate / 1200.0));
        ToneCorrelator tones(rate, 1800, 1200, length);
        const size_t change = 10 * length;
        size_t turned = 0;
        for (size_t n = 0; n < 20 * length; ++n) {
            const bool second = tones.process(sineAt(n < change ? 1800.0 : 1200.0, n, rate));
            if (n >= length && n < change) {
                EXPECT_FALSE(second) << rate << " Hz, sample " << n;
            } else if (n >= change + length) {
                EXPECT_TRUE(second) << rate << " Hz, sample " << n;
            }
            turned = second && turned == 0 && n >= change ? n : turned;
        }
        // Cross terms of the two tones in a mixed window move it by a few samples.
        EXPECT_NEAR(static_cast<double>(turned), static_cast<double>(change + length / 2), length / 4.0) << rate;
    }
}

TEST(DspKernels, ClockGivesItsFirstBitOnTheSampleNearestOneBitPeriod)
{
    const std::pair<int, unsigned> rates[] = {{48000, 40}, {44100, 37}, {36000, 30}, {24000, 20}, {22050, 18},
                                              {21600, 18}, {12000, 10}, {11025, 9},  {10800, 9}};
    for (const auto& [rate, first] : rates) {
        BitClock clock(rate / 1200.0, static_cast<uint32_t>(std::lround(rate / 1200.0)), 0);
        unsigned n = 1;
        while (!clock.process(true))
            ++n;
        EXPECT_EQ(n, first) << rate;
    }
    // A steady tone: 10 s at 44100 Hz are 12000 bits, although no bit is whole samples.
    BitClock clock(36.75, 37, 37);
    unsigned bits = 0;
    for (unsigned n = 0; n < 441000; ++n)
        if (clock.process(true)) {
            ++bits;
            clock.restart();
        }
    EXPECT_EQ(bits, 12000u);
}

TEST(DspKernels, ClockCentresItsCountedWindowOnTheBitsOfAnyPhase)
{
    for (int rate : {48000, 11025}) {
        const double period = rate / 1200.0;
        for (double phase : {0.0, 0.3, 0.5, 0.8}) {
            const auto window = static_cast<uint32_t>(std::lround(period));
            BitClock clock(period, window, window);
            unsigned late = 0; // bits after the first 1500 with a foreign decision in the window
            for (size_t n = 0; n < static_cast<size_t>(3000 * period); ++n) {
                const auto bit = static_cast<long>(std::floor(static_cast<double>(n) / period - phase));
                if (clock.process((bit & 1) != 0)) {
                    const unsigned minority = std::min(clock.ones, window - clock.ones);
                    late += n > 1500 * period && minority > 1 ? 1 : 0;
                    clock.restart();
                }
            }
            EXPECT_EQ(late, 0u) << rate << " Hz, phase " << phase;
        }
    }
}

TEST(DspKernels, CoherentDetectorReadsCleanMskBitsOnceSettled)
{
    const testsignal::Bits sent = testsignal::randomBits(300, 0x51);
    for (int rate : {48000, 22050, 11025}) {
        const double period = rate / 1200.0;
        const testsignal::Samples audio = testsignal::ffsk(sent, rate);
        MskDetector detector(rate, 1800, 1200, period);
        size_t n = 0;
        for (size_t k = 0; k + 1 < sent.size(); ++k) {
            // Decided half a bit after the bit ended, at the fraction of a sample the
            // clock would be off.
            const double instant = (static_cast<double>(k) + 1.5) * period;
            const auto sample = static_cast<size_t>(std::lround(instant));
            for (; n <= sample; ++n)
                detector.process(audio[n]);
            const MskDetector::Bit bit = detector.decide(sample, instant - static_cast<double>(sample));
            EXPECT_EQ(bit.settled, k >= 24) << rate << " Hz, bit " << k;
            if (k >= 24) {
                EXPECT_EQ(bit.one, sent[k] != 0) << rate << " Hz, bit " << k;
                EXPECT_GT(bit.reliability, 0.5f) << rate << " Hz, bit " << k;
            }
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
        bool offered;
    };
    for (const Case& c : {Case{48000, 0, true, true}, Case{11025, 0x8100, true, true},
                          Case{22050, 0x8101, true, false}, Case{48000, 0, false, false}}) {
        const double period = c.rate / 1200.0;
        testsignal::Bits bits(120, 0);
        const uint32_t sent = kPattern ^ (c.damage << 16);
        for (int k = 31; k >= 0; --k)
            bits.push_back(static_cast<uint8_t>((sent >> k) & 1u));
        bits.resize(bits.size() + 20, 0);
        SyncSearch search(period, {{kPattern, 0xFFFF, 2}});
        search.wait(c.waiting, false);
        unsigned offers = 0;
        for (size_t n = 0; n < static_cast<size_t>(static_cast<double>(bits.size()) * period); ++n) {
            const bool bit = bits[static_cast<size_t>(static_cast<double>(n) / period)] != 0;
            const SyncSearch::Found found = search.process(bit, bit, 0.0);
            if (found.kind != SyncSearch::Found::Offer)
                continue;
            ++offers;
            EXPECT_EQ(static_cast<uint32_t>(found.window), sent) << c.rate;
            EXPECT_NEAR(found.middle, 151.5 * period, 1.5) << c.rate; // the middle of the last pattern bit
        }
        EXPECT_EQ(offers, c.offered ? 1u : 0u) << c.rate << " Hz, damage " << c.damage;
    }
}

} // namespace

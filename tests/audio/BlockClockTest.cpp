// The capture times of live blocks: steady where the measurement wobbles, following a
// sound card whose clock drifts, and starting afresh after lost audio.
#include "audio/BlockClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace velkor;

namespace {

using namespace std::chrono;

double ms(CaptureTime::duration d)
{
    return duration<double, std::milli>(d).count();
}

TEST(BlockClock, StampsAreSteadyAndFollowTheAudio)
{
    // Blocks of 50 ms at 48 kHz. The true capture time of block n runs at the sound
    // card's rate (ppm off the system clock); each measurement is late by a wake-up
    // delay of 0 to jitter ms. A jump loses that much audio once, at block 400.
    const struct {
        const char* name;
        double ppm;
        double jitterMs;
        double jumpMs;
        double maxErrorMs;   // stamp against the true time (plus the mean delay)
        double maxSpacingMs; // how far a block's stamp may stray from 50 ms after the last
    } cases[] = {
        {"wobbling wake-ups", 0, 10, 0, 3, 1.0},
        {"a fast sound card", 200, 2, 0, 3, 0.5},
        {"lost audio", 0, 2, 1000, 3, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BlockClock clock(48000);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> delay(0.0, c.jitterMs);
        const CaptureTime t0 = system_clock::from_time_t(1714600000);
        std::optional<CaptureTime> last;
        double worstError = 0, worstSpacing = 0;
        for (int n = 0; n < 2000; ++n) {
            const double jump = n >= 400 ? c.jumpMs : 0.0;
            const double trueMs = n * 50.0 * (1.0 + c.ppm * 1e-6) + jump;
            const auto truth = t0 + duration_cast<CaptureTime::duration>(duration<double, std::milli>(trueMs));
            const auto measured =
                truth + duration_cast<CaptureTime::duration>(duration<double, std::milli>(delay(random)));
            const CaptureTime stamp = clock.stamp(measured, 2400);
            // Settled: after the first second, and a second after the jump.
            const bool settled = n > 20 && !(n >= 400 && n < 420 && c.jumpMs != 0);
            if (settled) {
                worstError = std::max(worstError, std::abs(ms(stamp - truth) - c.jitterMs / 2));
                if (last)
                    worstSpacing = std::max(worstSpacing, std::abs(ms(stamp - *last) - 50.0));
            }
            if (n == 400 && c.jumpMs != 0) { // the first block after the loss is taken as measured
                EXPECT_LE(std::abs(ms(stamp - measured)), 0.001);
            }
            last = stamp;
        }
        EXPECT_LE(worstError, c.maxErrorMs);
        EXPECT_LE(worstSpacing, c.maxSpacingMs);
    }
}

} // namespace

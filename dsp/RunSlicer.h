// Run-length bit slicer of the GMSK demodulator: turns filtered two-level audio into
// bits at the bit rate. Every run of one side of the threshold yields as many bits as
// its duration (plus the time carried over from earlier runs) holds bit periods,
// rounded to the nearest whole number, and the remainder carries on, so the bits follow
// sample time at exactly the bit rate. Each crossing that ends a run of at least half a
// bit pulls the bit grid a little towards itself: that is the timing recovery.
//
// The threshold is the midpoint between the mean of the values the 1-bits were taken
// from and the mean of those of the 0-bits, so a DC offset (a discriminator tap of a
// receiver slightly off frequency) moves it along instead of pushing every bit to one
// side. Unlike the mean of the audio it does not depend on how many ones and zeros the
// data has. Even an offset larger than the signal is found: all bits then fall on one
// side, that side's mean is the mean of the audio, the threshold halfway to the other
// side's mean moves into the signal, and from there the two means part. The means move
// slowly (over a few hundred bits), since every bit of noise on them costs
// sensitivity.
#pragma once

#include "dsp/ReliabilityScale.h"

#include <cmath>

namespace velkor {

struct RunSlicer {
    RunSlicer(double sampleTime, double bitPeriod)
        : sampleTime(sampleTime)
        , bitPeriod(bitPeriod)
        , halfBitPeriod(bitPeriod / 2.0)
    {
    }

    // onBit(bool negative, float reliability) for every bit whose time has passed with
    // this sample. value: the filtered sample.
    template <class OnBit> void process(double value, OnBit&& onBit)
    {
        const double before = level;
        const double rawPrevious = previous;
        previous = value;
        level = value - threshold();
        const bool below = level < 0.0;
        raw = value;
        if (below == negative) {
            // Most samples end no bit: only the time is added.
            if (timeAccumulator + sampleTime < halfBitPeriod)
                timeAccumulator += sampleTime;
            else
                advance(sampleTime, onBit);
            return;
        }
        // Bits of the old run yielded now had their middle at or before its last sample.
        raw = rawPrevious;
        // The crossing lies between the two samples, where the straight line between
        // them passes the threshold: the old run gets the time up to it.
        const double share = before / (before - level);
        advance(share * sampleTime, onBit);
        if (runBits > 0)
            timeAccumulator -= kClockGain * timeAccumulator;
        negative = below;
        runBits = 0;
        raw = value;
        advance((1.0 - share) * sampleTime, onBit);
    }

    double threshold() const { return (above.mean + under.mean) / 2.0; }

    // Share of a crossing's distance from the bit grid that is corrected at once.
    static constexpr double kClockGain = 0.12;
    // Bits over which the means of the two sides settle.
    static constexpr double kLevelBits = 256.0;
    // Bits in a run beyond any the channel's data has.
    static constexpr unsigned kLongRunBits = 24;

    struct SideMean {
        void add(double v) { mean += (v - mean) / kLevelBits; }
        double mean = 0.0;
    };

    double sampleTime;
    double bitPeriod;
    double halfBitPeriod;
    // Time received but not yet turned into bits, in seconds: from minus half a bit
    // period up to (not including) plus half a bit period between samples.
    double timeAccumulator = 0.0;
    double level = 0.0;    // the newest sample against the threshold
    double raw = 0.0;      // the filtered sample at which bits are being yielded
    double previous = 0.0; // the newest filtered sample
    bool negative = false; // side of the current run
    unsigned runBits = 0;  // bits the current run has yielded
    SideMean above;
    SideMean under;
    ReliabilityScale reliability;

private:
    template <class OnBit> void advance(double seconds, OnBit& onBit)
    {
        timeAccumulator += seconds;
        while (timeAccumulator >= halfBitPeriod) {
            // A bit is yielded half a bit period into it, where its eye is widest: the
            // distance from the threshold there, against its usual size, is how sure
            // the bit is.
            const double t = threshold();
            (negative ? under : above).add(raw);
            // No data keeps to one side this long: the audio has stopped (or is a bare
            // carrier), and the other side's mean would go stale where the last signal
            // left it. Both follow the audio then, so the next signal starts from a
            // threshold in the middle of what comes in.
            if (runBits >= kLongRunBits)
                (negative ? above : under).add(raw);
            onBit(negative, reliability.process(std::fabs(raw - t)));
            ++runBits;
            timeAccumulator -= bitPeriod;
        }
    }
};

} // namespace velkor

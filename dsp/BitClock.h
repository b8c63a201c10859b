// The bit clock of the FFSK demodulator. It runs at the exact (fractional) bit period
// and is nudged by where the one-sample tone decisions change, so it locks to any
// signal phase; it also counts the decisions of the last bit period, whose majority is
// the bit where nothing better is known.
//
// It settles slowly, on purpose: it must not wander in noise. A second, slower path
// learns how far the transmitter's bit period is off the nominal one (a sound card or
// transmitter clock a per cent off moves a bit by half a period in 50 bits, which the
// first path alone would follow only half a bit behind) and adds it to every period.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace velkor {

struct BitClock {
    // Share of a clock error corrected at each change of decisions. Small, so that the
    // changes noise makes in the middle of a bit average out instead of moving the clock.
    static constexpr double kGain = 0.04;
    // Share of a clock error added to the learned period, and the most it may learn.
    // With kGain the loop is damped at one half and learns a clock a per cent off in
    // some hundred bits; slower learning lost the first lines of a control channel.
    static constexpr double kPeriodGain = kGain * kGain;
    static constexpr double kMaxPeriodError = 0.015; // share of the nominal period
    // The errors of the last some 16 changes are averaged to judge whether the clock is
    // locked: changes noise makes, uniform over the bit, spread by a twelfth of the
    // squared period; a locked clean or moderately noisy signal by far less.
    static constexpr double kSpreadShare = 1.0 / 16;
    static constexpr double kSteadySpread = 0.03;

    // window: the decisions counted per bit (at most 63); warmup: samples until the
    // decisions mean anything (the correlators are full).
    BitClock(double period, uint32_t counted, uint32_t warm)
        : samplesPerBit(period)
        , window(counted)
        , oldest(uint64_t{1} << (counted - 1))
        , countdown(period)
        , warmup(warm)
        ,
        // A change of tone shows in the decisions once half the correlator holds the
        // new tone. The clock is right when the counted window is centred between two
        // such changes; counted from the bit decision before it, a change then falls
        // about one sample later (found by measurement at every offered rate).
        transitionPhase((period - counted) / 2.0 + 1.0)
        ,
        // Until the changes have shown where they fall, they count as scattered.
        spread{0.0, period * period / 24}
        , steadyScale(1.0 / (kSteadySpread * period * period))
    {
    }

    // Takes one sample's decision; true when a bit is due at this sample.
    bool process(bool decision)
    {
        if (decisions & oldest)
            --ones;
        decisions = (decisions << 1) | (decision ? 1u : 0u);
        ones += decision ? 1 : 0;
        sinceBit += 1.0;
        // Until the correlators have seen a whole bit period their decisions say
        // nothing about where the bits begin.
        if (warmup > 0)
            --warmup;
        else if (((decisions ^ (decisions >> 1)) & 1u) != 0)
            follow(wrappedError());
        countdown -= 1.0;
        return countdown < 0.5;
    }

    // The majority of the counted decisions.
    bool majority() const { return 2 * ones > window; }
    // The newest decision.
    bool decision() const { return (decisions & 1u) != 0; }

    // After a bit was decided: the next is due one bit period on.
    void restart()
    {
        countdown += period();
        sinceBit = 0.0;
    }
    // The bit period as learned from the signal.
    double period() const { return samplesPerBit + periodError; }
    // Later by a positive number of samples.
    void shift(double samples)
    {
        countdown += samples;
        sinceBit -= samples;
    }
    // The bit that was due `age` samples ago has been taken: the next is due one bit
    // period after it.
    void jump(double nextIn, double age)
    {
        countdown = nextIn;
        sinceBit = age;
    }

    // The error wraps into [-N/2 + 1, N/2 + 1) samples, one sample off centre: with a
    // clock half a bit off, rising and falling changes of a clean signal can otherwise
    // land just either side of a symmetric wrap point and cancel out for ever. One
    // sample is too little to bias the clock in noise.
    double wrappedError() const
    {
        double error = sinceBit - transitionPhase;
        error -= samplesPerBit * std::floor((error - 1.0) / samplesPerBit + 0.5);
        return error;
    }

    void follow(double error)
    {
        countdown += kGain * error;
        // The period learns only while the changes fall where the clock says, give or
        // take a little: the changes noise makes fall anywhere in the bit, and a period
        // learned from them would wander off and take the clock with it.
        spread.mean += kSpreadShare * (error - spread.mean);
        spread.square += kSpreadShare * (error * error - spread.square);
        const double variance = std::max(0.0, spread.square - spread.mean * spread.mean);
        const double trust = std::max(0.0, 1.0 - variance * steadyScale);
        const double most = kMaxPeriodError * samplesPerBit;
        periodError = std::clamp(periodError + kPeriodGain * trust * trust * error, -most, most);
    }

    double samplesPerBit;
    uint32_t window;
    uint64_t oldest;        // the bit of the oldest counted decision
    uint64_t decisions = 0; // per-sample decisions, newest in bit 0
    uint32_t ones = 0;      // 1-decisions among the counted window
    double countdown;       // samples left until the next bit is decided
    double sinceBit = 0.0;  // samples since the last bit was decided
    uint32_t warmup;
    double transitionPhase;   // where a change of decisions falls when the clock is right
    double periodError = 0.0; // samples the transmitter's bit period is longer than nominal
    struct Spread {
        double mean;
        double square;
    } spread;           // of the recent clock errors
    double steadyScale; // 1 / the spread up to which the period learns
};

} // namespace velkor

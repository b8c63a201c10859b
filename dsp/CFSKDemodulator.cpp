#include "dsp/CFSKDemodulator.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>

namespace {
constexpr double kTwoPi = 6.283185307179586;

// The counted window spans one bit period of decisions, centred between the two
// changes of tone that bound the bit (measured best across rates and noise levels).
constexpr double kCountedShare = 1.0;

// Share of a clock error corrected at each change of decisions. Small, so that the
// changes noise makes in the middle of a bit average out instead of moving the clock.
constexpr double kClockGain = 0.04;

// Samples for a whole number of cycles of a tone.
uint64_t cycleSamples(int rate, unsigned tone)
{
    return tone == 0 ? 1 : static_cast<uint64_t>(rate) / std::gcd(static_cast<uint64_t>(rate), uint64_t{tone});
}

template <typename T>
std::vector<T> allocate(uint64_t count)
{
    if (count == 0 || count > (uint64_t{1} << 24))
        throw std::bad_alloc();
    return std::vector<T>(count, T{});
}
} // namespace

CFSKDemodulator::CFSKDemodulator(int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2)
    : CPhaseLockedLoop(sampleRate, baudRate),
      m_samplesPerBit(static_cast<double>(sampleRate) / baudRate),
      m_correlatorLength(static_cast<uint32_t>(std::lround(m_samplesPerBit))),
      m_countedWindow(static_cast<uint32_t>(std::clamp(std::lround(kCountedShare * m_samplesPerBit), 1l, 63l))),
      m_windowMask(uint64_t{1} << (m_countedWindow - 1)),
      m_countdown(m_samplesPerBit),
      m_warmup(m_correlatorLength)
{
    if (sampleRate <= 0 || baudRate <= 0 || m_correlatorLength < 2)
        throw std::bad_alloc();

    // Tables hold an exact whole number of cycles of both tones, so that stepping
    // through them cyclically gives phase-continuous references at any rate.
    const uint64_t length = std::lcm(cycleSamples(sampleRate, tone1), cycleSamples(sampleRate, tone2));
    m_tables = allocate<Quad>(length);
    m_rings = allocate<Quad>(m_correlatorLength);
    for (uint64_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        m_tables[i][kSin1] = std::sin(kTwoPi * tone1 * t);
        m_tables[i][kCos1] = std::cos(kTwoPi * tone1 * t);
        m_tables[i][kSin2] = std::sin(kTwoPi * tone2 * t);
        m_tables[i][kCos2] = std::cos(kTwoPi * tone2 * t);
    }

    // A change of tone shows in the decisions once half the correlator holds the new
    // tone. The clock is right when the counted window is centred between two such
    // changes; counted from the bit decision before it, a change then falls about one
    // sample later (found by measurement at every offered rate).
    m_transitionPhase = (m_samplesPerBit - m_countedWindow) / 2.0 + 1.0;
}

void CFSKDemodulator::ProcessSamples(const int16_t* samples, unsigned count)
{
    const auto tableLength = static_cast<uint32_t>(m_tables.size());
    for (unsigned k = 0; k < count; ++k) {
        const double x = sampleValue(samples[k]);
        Quad& ring = m_rings[m_slot];
        const Quad& table = m_tables[m_phase];
        for (int r = 0; r < kRefs; ++r) {
            m_sums[r] -= ring[r];
            ring[r] = table[r] * x;
            m_sums[r] += ring[r];
        }
        if (++m_phase == tableLength)
            m_phase = 0;
        if (++m_slot == m_correlatorLength)
            m_slot = 0;

        if (m_decisions & m_windowMask)
            --m_onesCount;
        m_decisions <<= 1;
        // Comparing squared magnitudes decides exactly as comparing magnitudes.
        const double a1 = m_sums[kSin1] * m_sums[kSin1] + m_sums[kCos1] * m_sums[kCos1];
        const double a2 = m_sums[kSin2] * m_sums[kSin2] + m_sums[kCos2] * m_sums[kCos2];
        if (a2 > a1) {
            m_decisions |= 1;
            ++m_onesCount;
        }

        m_sinceBit += 1.0;
        // Until the correlators have seen a whole bit period their decisions say
        // nothing about where the bits begin.
        if (m_warmup > 0)
            --m_warmup;
        else if (((m_decisions ^ (m_decisions >> 1)) & 1u) != 0) {
            // The error wraps into [-N/2 + 1, N/2 + 1) samples, one sample off centre:
            // with a clock half a bit off, rising and falling changes of a clean signal
            // can otherwise land just either side of a symmetric wrap point and cancel
            // out for ever. One sample is too little to bias the clock in noise.
            double error = m_sinceBit - m_transitionPhase;
            error -= m_samplesPerBit * std::floor((error - 1.0) / m_samplesPerBit + 0.5);
            m_countdown += kClockGain * error;
        }

        m_countdown -= 1.0;
        if (m_countdown < 0.5) {
            ProcessBit(2 * m_onesCount > m_countedWindow);
            m_countdown += m_samplesPerBit;
            m_sinceBit = 0.0;
        }
    }
}

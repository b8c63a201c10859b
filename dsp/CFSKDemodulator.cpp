#include "dsp/CFSKDemodulator.h"

#include <algorithm>
#include <bit>
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

// Bits of the recent past kept: a sync pattern and the codeword after it, and room for
// the run of samples at which a pattern shows.
constexpr unsigned kHistoryBits = 100;

// A run of samples at which a pattern shows ends after this share of a bit period
// without it: noise at the edges of the eye may break a run for a sample or two.
constexpr double kRunGapShare = 0.25;

// The phase taken must leave the next bit in the future: a run is ended before its
// middle lies this share of a bit period in the past.
constexpr double kLatestMiddleShare = 0.75;

// A clock that found the pattern itself is moved to the middle of the run only when it
// is further from it than this share of a bit period.
constexpr double kRefineShare = 0.125;

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

    uint64_t historyLength = 1;
    while (historyLength < static_cast<uint64_t>(std::ceil(kHistoryBits * m_samplesPerBit)) + 2)
        historyLength <<= 1;
    m_history = allocate<uint8_t>(historyLength);
    m_historyMask = historyLength - 1;
    for (unsigned k = 0; k < 64; ++k)
        m_bitOffsets.push_back(static_cast<uint32_t>(std::lround(k * m_samplesPerBit)));
}

void CFSKDemodulator::SetSyncPatterns(std::vector<SyncPattern> patterns)
{
    m_patterns = std::move(patterns);
}

void CFSKDemodulator::SearchSync(bool on)
{
    if (on && !m_searching)
        m_inRun = false;
    if (!on && m_searching && !m_offering && m_inRun) {
        // The decoder found the pattern in the bits of the clock while it was showing
        // here too: the run goes on, and where its middle lies tells how far off the
        // clock is.
        m_refining = true;
        m_alignedAt = m_sample;
    }
    m_searching = on;
}

bool CFSKDemodulator::ProcessSync(uint64_t)
{
    return false;
}

bool CFSKDemodulator::PatternAt(uint64_t sample, unsigned& errors) const
{
    // Most samples fail on the newest few bits, so the bits are gathered a few at a
    // time and the patterns still possible are kept in a mask.
    uint32_t value = 0;
    uint32_t alive = (1u << m_patterns.size()) - 1;
    for (unsigned k = 0; k < 32 && alive != 0; ++k) {
        value |= static_cast<uint32_t>(m_history[(sample - m_bitOffsets[k]) & m_historyMask] & 1u) << k;
        if ((k & 3) != 3)
            continue;
        const uint32_t known = k == 31 ? 0xFFFFFFFFu : (2u << k) - 1;
        for (size_t p = 0; p < m_patterns.size(); ++p) {
            if ((alive >> p) & 1u) {
                const SyncPattern& pattern = m_patterns[p];
                const uint32_t wrong = (value ^ pattern.bits) & known;
                if ((wrong & pattern.exactMask) != 0 ||
                    static_cast<unsigned>(std::popcount(wrong)) > pattern.maxErrors)
                    alive &= ~(1u << p);
            }
        }
    }
    if (alive == 0)
        return false;
    errors = 32;
    for (size_t p = 0; p < m_patterns.size(); ++p)
        if ((alive >> p) & 1u)
            errors = std::min(errors, static_cast<unsigned>(std::popcount(value ^ m_patterns[p].bits)));
    return true;
}

uint64_t CFSKDemodulator::BitsEndingAt(double sample, unsigned count, unsigned which) const
{
    uint64_t bits = 0;
    for (unsigned k = 0; k < count; ++k) {
        const auto at = static_cast<uint64_t>(std::llround(sample - k * m_samplesPerBit));
        bits |= static_cast<uint64_t>((m_history[at & m_historyMask] >> which) & 1u) << k;
    }
    return bits;
}

uint64_t CFSKDemodulator::Reread(double offset, bool single) const
{
    const double newest = static_cast<double>(m_lastBit) + offset;
    if (newest < 64 * m_samplesPerBit || newest > static_cast<double>(m_sample))
        return 0;
    return BitsEndingAt(newest, 64, single ? 1 : 0);
}

void CFSKDemodulator::ShiftClock(double samples)
{
    m_countdown += samples;
    m_sinceBit -= samples;
}

void CFSKDemodulator::SearchAt(uint64_t sample)
{
    unsigned errors = 0;
    if (PatternAt(sample, errors)) {
        if (!m_inRun || errors < m_bestErrors) {
            m_bestErrors = errors;
            m_bestFirst = sample;
        }
        if (errors == m_bestErrors)
            m_bestLast = sample;
        m_inRun = true;
        m_runMisses = 0;
    } else if (m_inRun) {
        ++m_runMisses;
    }
    if (!m_inRun)
        return;
    const double middle = (static_cast<double>(m_bestFirst) + static_cast<double>(m_bestLast)) / 2.0;
    const double age = static_cast<double>(sample) - middle;
    if (m_runMisses < std::max(1.0, kRunGapShare * m_samplesPerBit) && age < kLatestMiddleShare * m_samplesPerBit)
        return;
    m_inRun = false;
    if (m_refining) {
        m_refining = false;
        // Only while the bit the decoder aligned on is still the newest one.
        const double shift = middle - static_cast<double>(m_alignedAt);
        if (m_sinceBit == static_cast<double>(sample - m_alignedAt) &&
            std::fabs(shift) >= kRefineShare * m_samplesPerBit) {
            m_countdown += shift;
            m_sinceBit -= shift;
        }
        return;
    }
    if (m_sample < kHistoryBits * m_samplesPerBit)
        return; // the history does not reach back over the whole window yet
    m_offering = true;
    const bool taken = ProcessSync(BitsEndingAt(middle, 64));
    m_offering = false;
    if (!taken)
        return;
    // The bit at the middle of the run was the newest bit taken; the next one is due
    // one bit period after it.
    m_countdown = middle + m_samplesPerBit - static_cast<double>(sample);
    m_sinceBit = age;
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

        const bool bit = 2 * m_onesCount > m_countedWindow;
        m_countdown -= 1.0;
        if (m_countdown < 0.5) {
            m_lastBit = m_sample;
            ProcessBit(bit);
            m_countdown += m_samplesPerBit;
            m_sinceBit = 0.0;
        }
        if (!m_patterns.empty()) {
            m_history[m_sample & m_historyMask] = static_cast<uint8_t>((bit ? 1u : 0u) | ((m_decisions & 1u) << 1));
            if (m_searching || m_refining)
                SearchAt(m_sample);
        }
        ++m_sample;
    }
}

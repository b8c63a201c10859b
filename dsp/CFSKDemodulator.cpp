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

// The band-pass around the tones: one second-order section, 1000 Hz wide at 1500 Hz
// (1.25 measured best among 0.7 ... 2.5: narrower costs the clean eye at low rates).
constexpr double kBandQ = 1.25;

// Decay per bit of the carrier phase estimate: about ten bits of memory follows the
// phase wander of real transmitters (and the sample-grid jitter of generated audio at
// low rates) while averaging out the noise. Measured best among 0.8, 0.9, 0.95.
constexpr double kCarrierDecay = 0.9;

// Bits decided by majority at the start, while the carrier estimate fills.
constexpr unsigned kCoherentWarmup = 24;

// Sub-sample centres of the matched filter.
constexpr int kPulsePhases = 8;

// Reliability of a bit: its coherent decision against the mean size of the recent
// ones, scaled so that a clean bit is about 1.
constexpr double kSoftMean = 0.8;
constexpr double kSoftScaleDecay = 1.0 / 32.0;

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
    m_secondHigher = tone2 > tone1;
    // The low-pass only where it lies well below half the rate.
    // RBJ cookbook band-pass, 0 dB at the middle frequency.
    {
        const double w = kTwoPi * (tone1 + tone2) / 2.0 / sampleRate;
        const double alpha = std::sin(w) / (2 * kBandQ);
        const double a0 = 1 + alpha;
        m_band.b0 = alpha / a0;
        m_band.b1 = 0.0;
        m_band.b2 = -alpha / a0;
        m_band.a1 = -2 * std::cos(w) / a0;
        m_band.a2 = (1 - alpha) / a0;
    }

    // The middle frequency may be a half-integer: cycles of it are counted at twice the
    // rate.
    const uint64_t twiceMiddle = uint64_t{tone1} + tone2;
    const uint64_t twiceRate = 2 * static_cast<uint64_t>(sampleRate);
    const uint64_t mixLength = twiceMiddle == 0 ? 1 : twiceRate / std::gcd(twiceRate, twiceMiddle);
    // Extended by one window beyond the whole cycles, so that a window of the past
    // lies in one piece here too.
    m_mixLength = static_cast<uint32_t>(mixLength);
    m_mix = allocate<Complex>(mixLength + 2 * static_cast<uint64_t>(std::floor(m_samplesPerBit)) + 2);
    for (uint64_t i = 0; i < m_mix.size(); ++i) {
        const double a = kTwoPi * static_cast<double>(twiceMiddle) * static_cast<double>(i) / static_cast<double>(twiceRate);
        m_mix[i] = {std::cos(a), -std::sin(a)};
    }
    m_pulseHalf = static_cast<int>(std::floor(m_samplesPerBit));
    const auto taps = 2 * static_cast<size_t>(m_pulseHalf) + 2;
    for (int sub = 0; sub < kPulsePhases; ++sub) {
        const double centre = static_cast<double>(sub) / kPulsePhases;
        for (size_t t = 0; t < taps; ++t) {
            const double tau = (static_cast<double>(t) - m_pulseHalf - centre) / m_samplesPerBit;
            m_pulses.push_back(std::fabs(tau) < 1.0 ? std::cos(kTwoPi / 4.0 * tau) : 0.0);
        }
    }
    // The older boundary of a bit lies one and a half bit periods before the decision,
    // its window another bit period: four bit periods of the past are plenty.
    m_basebandLength = static_cast<uint32_t>(std::ceil(4 * m_samplesPerBit)) + 4;
    m_filtered = allocate<double>(2 * static_cast<uint64_t>(m_basebandLength));
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
    // Most samples fail on the newest four bits, most of the others on the next four:
    // which patterns those leave alive is looked up.
    const auto alive = [this](uint32_t value, uint32_t known) {
        uint32_t mask = 0;
        for (size_t p = 0; p < m_patterns.size(); ++p) {
            const uint32_t wrong = (value ^ m_patterns[p].bits) & known;
            if ((wrong & m_patterns[p].exactMask) == 0 &&
                static_cast<unsigned>(std::popcount(wrong)) <= m_patterns[p].maxErrors)
                mask |= 1u << p;
        }
        return mask;
    };
    for (uint32_t value = 0; value < m_firstBits.size(); ++value)
        m_firstBits[value] = alive(value, 0xFFu);
    for (uint32_t value = 0; value < m_firstNibble.size(); ++value)
        m_firstNibble[value] = alive(value, 0xFu) != 0;
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
    // Most samples fail on the newest few bits (see MayShow), so the bits are gathered
    // a few at a time and the patterns still possible are kept in a mask; the first
    // eight are looked up at once.
    uint32_t value = NewestBits(sample, 8);
    uint32_t alive = m_firstBits[value];
    for (unsigned k = 8; k < 32 && alive != 0; ++k) {
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
        const double x = m_band(sampleValue(samples[k]));
        Quad& ring = m_rings[m_slot];
        const Quad& table = m_tables[m_phase];
        // The sums in a local, so that the compiler need not fear the ring overlapping
        // them and keeps the four side by side.
        Quad sums = m_sums;
        for (int r = 0; r < kRefs; ++r) {
            const double product = table[r] * x;
            sums[r] = (sums[r] - ring[r]) + product;
            ring[r] = product;
        }
        m_sums = sums;
        if (++m_phase == tableLength)
            m_phase = 0;
        if (++m_slot == m_correlatorLength)
            m_slot = 0;
        m_filtered[m_filteredPos] = x;
        m_filtered[m_filteredPos + m_basebandLength] = x;
        if (++m_filteredPos == m_basebandLength)
            m_filteredPos = 0;

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
            const double soft = CoherentBit();
            const double size = std::fabs(soft);
            m_softScale += (size - m_softScale) * kSoftScaleDecay;
            const double reliability = m_softScale > 0.0 ? std::min(1.0, kSoftMean * size / m_softScale) : 0.0;
            bool decided = bit;
            if (m_coherentBits < kCoherentWarmup)
                ++m_coherentBits;
            else
                decided = soft > 0.0;
            ProcessSoftBit(decided, static_cast<float>(reliability));
            m_countdown += m_samplesPerBit;
            m_sinceBit = 0.0;
        }
        if (!m_patterns.empty()) {
            m_history[m_sample & m_historyMask] = static_cast<uint8_t>((bit ? 1u : 0u) | ((m_decisions & 1u) << 1));
            // A sample at which no pattern shows changes nothing outside a run.
            if ((m_searching || m_refining) && (m_inRun || MayShow(m_sample)))
                SearchAt(m_sample);
        }
        ++m_sample;
    }
}

CFSKDemodulator::Window CFSKDemodulator::WindowAt(double at) const
{
    double whole = std::floor(at);
    auto sub = static_cast<int>(std::lround((at - whole) * kPulsePhases));
    if (sub == kPulsePhases) {
        sub = 0;
        whole += 1.0;
    }
    return {static_cast<int64_t>(whole) - m_pulseHalf, sub};
}

CFSKDemodulator::Complex CFSKDemodulator::Filter(const Window& window, int64_t begin, int64_t end) const
{
    if (window.first < 0 || end <= begin)
        return {0.0, 0.0};
    const auto taps = 2 * static_cast<size_t>(m_pulseHalf) + 2;
    const double* pulse = &m_pulses[static_cast<size_t>(window.sub) * taps];
    // Mixed down only here, at the samples a bit needs: sample n meets the reference at
    // n modulo its cycle.
    const double* x = &m_filtered[static_cast<uint64_t>(window.first) % m_basebandLength];
    const Complex* z = &m_mix[static_cast<uint64_t>(window.first) % m_mixLength];
    // Four partial sums each, so that the additions need not wait for one another.
    std::array<double, 4> re{};
    std::array<double, 4> im{};
    int64_t t = begin;
    for (; t + 4 <= end; t += 4) {
        for (int64_t i = 0; i < 4; ++i) {
            const double w = pulse[t + i] * x[t + i];
            re[static_cast<size_t>(i)] += w * z[t + i][0];
            im[static_cast<size_t>(i)] += w * z[t + i][1];
        }
    }
    for (; t < end; ++t) {
        const double w = pulse[t] * x[t];
        re[0] += w * z[t][0];
        im[0] += w * z[t][1];
    }
    return {(re[0] + re[1]) + (re[2] + re[3]), (im[0] + im[1]) + (im[2] + im[3])};
}

double CFSKDemodulator::CoherentBit()
{
    // The clock decides a bit half a bit period after the bit has ended (where the
    // counted window is centred on it); its ideal instant is the fraction of a sample
    // the countdown is off.
    const double newer = static_cast<double>(m_sample) + m_countdown - m_samplesPerBit / 2;
    const double older = newer - m_samplesPerBit;
    const auto taps = 2 * static_cast<int64_t>(m_pulseHalf) + 2;
    // The older boundary was the newer one of the bit before: unless the clock has moved
    // it, the part of its window that had come then is already summed.
    const Window w0 = WindowAt(older);
    Complex y0;
    if (m_partial.window == w0) {
        const Complex rest = Filter(w0, m_partial.taps, taps);
        y0 = {m_partial.sum[0] + rest[0], m_partial.sum[1] + rest[1]};
    } else {
        y0 = Filter(w0, 0, taps);
    }
    // The newer boundary's window reaches half a bit into the future: the part that has
    // come holds over nine tenths of the pulse's energy.
    const Window w1 = WindowAt(newer);
    const int64_t come = std::min(taps, static_cast<int64_t>(m_sample) - w1.first + 1);
    const Complex y1 = Filter(w1, 0, come);
    m_partial = {w1, std::max<int64_t>(come, 0), y1};
    // Neighbouring boundary points lie a quarter turn apart, their squares a half turn:
    // turning the sign at every step keeps the squares of all recent points aligned.
    m_carrier = {y0[0] * y0[0] - y0[1] * y0[1] - kCarrierDecay * m_carrier[0],
                 2 * y0[0] * y0[1] - kCarrierDecay * m_carrier[1]};
    const double magnitude = std::sqrt(m_carrier[0] * m_carrier[0] + m_carrier[1] * m_carrier[1]);
    if (magnitude <= 0.0)
        return 0.0;
    // Half the angle of the estimate: the carrier phase at the older boundary, up to a
    // half turn, which turns both projections alike.
    const double c = std::sqrt(std::max(0.0, (1 + m_carrier[0] / magnitude) / 2));
    const double s = std::copysign(std::sqrt(std::max(0.0, (1 - m_carrier[0] / magnitude) / 2)), m_carrier[1]);
    const double u0 = y0[0] * c + y0[1] * s;  // on the carrier's axis
    const double u1 = y1[1] * c - y1[0] * s;  // a quarter turn on
    // Equal signs: the phase turned up, the higher tone.
    const double higher = (u0 * u1 > 0 ? 1.0 : -1.0) * std::min(std::fabs(u0), std::fabs(u1));
    return m_secondHigher ? higher : -higher;
}

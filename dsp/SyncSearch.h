// Searches a sync pattern at every sample, at every bit phase, in the decisions of the
// recent past. A data burst that starts at an unknown phase after voice is over before
// the slow bit clock has moved far; where the pattern shows, the bits at the phase in
// the middle of the samples where it shows can be read at once, and the clock can jump
// to that phase. The past kept also lets a decoder read the newest bits again a little
// earlier or later than the clock read them.
#pragma once

#include "dsp/KernelBuffer.h"

#include <array>
#include <bit>
#include <cmath>

namespace velkor {

// A pattern of the 32 newest bits (the newest in bit 0): the bits of exactMask must all
// be as given, of the others at most maxErrors may differ.
struct SyncPattern {
    uint32_t bits = 0;
    uint32_t exactMask = 0xFFFFFFFF;
    unsigned maxErrors = 0;
};

class SyncSearch {
public:
    // What a sample's search found.
    struct Found {
        enum Kind { Nothing, Offer, Refine } kind = Nothing;
        uint64_t window = 0; // Offer: the 64 bits (newest in bit 0) ending at the middle
        double middle = 0.0; // the sample in the middle of the run
        double shift = 0.0;  // Refine: how far the clock is off
    };

    // At most 32 patterns.
    SyncSearch(double samplesPerBit, std::vector<SyncPattern> patterns);

    bool enabled() const { return !m_patterns.empty(); }
    bool waiting() const { return m_waiting; }

    // A decoder waits for synchronisation: only patterns that show after it began to
    // are offered. When it stops waiting on its own (offered is false) while the pattern
    // shows here too, the run goes on, and where its middle lies tells how far off the
    // clock is.
    void wait(bool on, bool offered);
    // The clock decided a bit at the current sample.
    void bitDecided() { m_lastBit = m_sample; }
    // The bit period the clock has learned: the past is read at it.
    void setPeriod(double samplesPerBit);

    // Keeps the sample's bit (the counted decisions, as the clock would read them) and
    // its own decision; sinceBit: samples since the clock's last bit.
    Found process(bool bit, bool decision, double sinceBit);

    // The last 64 bits again, read at the bit period with the newest bit `offset`
    // samples after the one the clock decided: from the counted decisions, or from the
    // single decisions of the samples (single). 0 where the past kept does not reach.
    uint64_t reread(double offset, bool single) const;

private:
    // Bits of the recent past kept: a sync pattern and the codeword after it, and room
    // for the run of samples at which a pattern shows.
    static constexpr unsigned kHistoryBits = 100;
    // A run of samples at which a pattern shows ends after this share of a bit period
    // without it: noise at the edges of the eye may break a run for a sample or two.
    static constexpr double kRunGapShare = 0.25;
    // The phase taken must leave the next bit in the future: a run is ended before its
    // middle lies this share of a bit period in the past.
    static constexpr double kLatestMiddleShare = 0.75;
    // A clock that found the pattern itself is moved to the middle of the run only when
    // it is further from it than this share of a bit period.
    static constexpr double kRefineShare = 0.125;

    bool PatternAt(uint64_t sample, unsigned& errors) const;
    // False when the newest four bits at the sample already rule every pattern out: the
    // test made at every sample of the search, so it is kept short.
    bool MayShow(uint64_t sample) const { return m_firstNibble[NewestBits(sample, 4)]; }
    // The newest count bits at the sample, the newest in bit 0.
    uint32_t NewestBits(uint64_t sample, unsigned count) const
    {
        uint32_t value = 0;
        for (unsigned k = 0; k < count; ++k)
            value |= static_cast<uint32_t>(m_history[(sample - m_bitOffsets[k]) & m_historyMask] & 1u) << k;
        return value;
    }
    uint64_t BitsEndingAt(double sample, unsigned count, unsigned which = 0) const;
    uint32_t Alive(uint32_t value, uint32_t known) const;
    Found SearchAt(uint64_t sample, double sinceBit);

    double m_samplesPerBit;
    std::vector<SyncPattern> m_patterns;
    // The bit each sample would give if a bit were decided there (bit 0), and the
    // sample's own decision (bit 1).
    std::vector<uint8_t> m_history; // indexed by sample number modulo its size
    uint64_t m_historyMask = 0;
    uint64_t m_sample = 0;                   // samples kept so far
    uint64_t m_lastBit = 0;                  // sample at which the last bit was decided
    std::vector<uint32_t> m_bitOffsets;      // samples back from the newest bit to bit k
    std::array<uint32_t, 256> m_firstBits{}; // patterns alive after the newest eight bits
    std::array<bool, 16> m_firstNibble{};    // any alive after the newest four
    bool m_waiting = false;
    bool m_refining = false;  // the decoder aligned on its own during the current run
    uint64_t m_alignedAt = 0; // sample of the bit it aligned on
    // The run of samples at which a pattern shows, and the part of it with the fewest
    // errors, whose middle is taken as the bit phase.
    bool m_inRun = false;
    unsigned m_runMisses = 0;
    unsigned m_bestErrors = 0;
    uint64_t m_bestFirst = 0;
    uint64_t m_bestLast = 0;
};

inline SyncSearch::SyncSearch(double samplesPerBit, std::vector<SyncPattern> patterns)
    : m_samplesPerBit(samplesPerBit)
    , m_patterns(std::move(patterns))
{
    uint64_t historyLength = 1;
    while (historyLength < static_cast<uint64_t>(std::ceil(kHistoryBits * samplesPerBit)) + 2)
        historyLength <<= 1;
    m_history = kernelBuffer<uint8_t>(historyLength);
    m_historyMask = historyLength - 1;
    m_bitOffsets.resize(64);
    m_samplesPerBit = 0.0;
    setPeriod(samplesPerBit);
    // Most samples fail on the newest four bits, most of the others on the next four:
    // which patterns those leave alive is looked up.
    for (uint32_t value = 0; value < m_firstBits.size(); ++value)
        m_firstBits[value] = Alive(value, 0xFFu);
    for (uint32_t value = 0; value < m_firstNibble.size(); ++value)
        m_firstNibble[value] = Alive(value, 0xFu) != 0;
}

inline void SyncSearch::setPeriod(double samplesPerBit)
{
    // The offsets are whole samples: moved only when the oldest would move by a tenth
    // of one, so that a clock that wanders a little in noise costs nothing here.
    if (std::fabs(samplesPerBit - m_samplesPerBit) * (m_bitOffsets.size() - 1) < 0.1)
        return;
    m_samplesPerBit = samplesPerBit;
    for (size_t k = 0; k < m_bitOffsets.size(); ++k)
        m_bitOffsets[k] = static_cast<uint32_t>(std::lround(static_cast<double>(k) * samplesPerBit));
}

inline uint32_t SyncSearch::Alive(uint32_t value, uint32_t known) const
{
    uint32_t mask = 0;
    for (size_t p = 0; p < m_patterns.size(); ++p) {
        const uint32_t wrong = (value ^ m_patterns[p].bits) & known;
        if ((wrong & m_patterns[p].exactMask) == 0 &&
            static_cast<unsigned>(std::popcount(wrong)) <= m_patterns[p].maxErrors)
            mask |= 1u << p;
    }
    return mask;
}

inline void SyncSearch::wait(bool on, bool offered)
{
    if (on && !m_waiting)
        m_inRun = false;
    if (!on && m_waiting && !offered && m_inRun) {
        m_refining = true;
        m_alignedAt = m_sample;
    }
    m_waiting = on;
}

inline SyncSearch::Found SyncSearch::process(bool bit, bool decision, double sinceBit)
{
    const uint64_t sample = m_sample++;
    m_history[sample & m_historyMask] = static_cast<uint8_t>((bit ? 1u : 0u) | (decision ? 2u : 0u));
    // A sample at which no pattern shows changes nothing outside a run.
    if ((m_waiting || m_refining) && (m_inRun || MayShow(sample)))
        return SearchAt(sample, sinceBit);
    return {};
}

inline bool SyncSearch::PatternAt(uint64_t sample, unsigned& errors) const
{
    // Most samples fail on the newest few bits (see MayShow), so the bits are gathered a
    // few at a time and the patterns still possible are kept in a mask; the first eight
    // are looked up at once.
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
                if ((wrong & pattern.exactMask) != 0 || static_cast<unsigned>(std::popcount(wrong)) > pattern.maxErrors)
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

inline uint64_t SyncSearch::BitsEndingAt(double sample, unsigned count, unsigned which) const
{
    uint64_t bits = 0;
    for (unsigned k = 0; k < count; ++k) {
        const auto at = static_cast<uint64_t>(std::llround(sample - k * m_samplesPerBit));
        bits |= static_cast<uint64_t>((m_history[at & m_historyMask] >> which) & 1u) << k;
    }
    return bits;
}

inline uint64_t SyncSearch::reread(double offset, bool single) const
{
    const double newest = static_cast<double>(m_lastBit) + offset;
    if (newest < 64 * m_samplesPerBit || newest > static_cast<double>(m_sample))
        return 0;
    return BitsEndingAt(newest, 64, single ? 1 : 0);
}

inline SyncSearch::Found SyncSearch::SearchAt(uint64_t sample, double sinceBit)
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
        return {};
    Found found;
    found.middle = (static_cast<double>(m_bestFirst) + static_cast<double>(m_bestLast)) / 2.0;
    const double age = static_cast<double>(sample) - found.middle;
    if (m_runMisses < std::max(1.0, kRunGapShare * m_samplesPerBit) && age < kLatestMiddleShare * m_samplesPerBit)
        return {};
    m_inRun = false;
    if (m_refining) {
        m_refining = false;
        // Only while the bit the decoder aligned on is still the newest one.
        found.shift = found.middle - static_cast<double>(m_alignedAt);
        if (sinceBit == static_cast<double>(sample - m_alignedAt) &&
            std::fabs(found.shift) >= kRefineShare * m_samplesPerBit)
            found.kind = Found::Refine;
        return found;
    }
    if (sample < kHistoryBits * m_samplesPerBit)
        return {}; // the history does not reach back over the whole window yet
    found.kind = Found::Offer;
    found.window = BitsEndingAt(found.middle, 64);
    return found;
}

} // namespace velkor

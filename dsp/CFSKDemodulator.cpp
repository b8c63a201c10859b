#include "dsp/CFSKDemodulator.h"

#include "dsp/FlushDenormals.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace velkor {

namespace {
// The counted window spans one bit period of decisions, centred between the two
// changes of tone that bound the bit (measured best across rates and noise levels).
constexpr double kCountedShare = 1.0;

// The band-pass: 1000 Hz wide at 1500 Hz (1.25 measured best among 0.7 ... 2.5:
// narrower costs the clean eye at low rates).
constexpr double kBandQ = 1.25;

uint32_t roundedPeriod(int sampleRate, int baudRate)
{
    if (sampleRate <= 0 || baudRate <= 0)
        throw std::bad_alloc();
    const auto length = static_cast<uint32_t>(std::lround(static_cast<double>(sampleRate) / baudRate));
    if (length < 2)
        throw std::bad_alloc();
    return length;
}
} // namespace

CFSKDemodulator::CFSKDemodulator(int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2,
                                 std::vector<velkor::SyncPattern> syncPatterns)
    : CPhaseLockedLoop(sampleRate, baudRate)
    , m_samplesPerBit(static_cast<double>(sampleRate) / baudRate)
    , m_correlatorLength(roundedPeriod(sampleRate, baudRate))
    , m_band((tone1 + tone2) / 2.0, sampleRate, kBandQ)
    , m_tones(sampleRate, tone1, tone2, m_correlatorLength)
    , m_clock(m_samplesPerBit, static_cast<uint32_t>(std::clamp(std::lround(kCountedShare * m_samplesPerBit), 1l, 63l)),
              m_correlatorLength)
    , m_detector(sampleRate, tone1, tone2, m_samplesPerBit)
    , m_search(m_samplesPerBit, std::move(syncPatterns))
{
}

bool CFSKDemodulator::ProcessSync(uint64_t)
{
    return false;
}

void CFSKDemodulator::TakeSteering(bool offered)
{
    const Steering steering = Steer();
    if (steering.waitingForSync != m_search.waiting())
        m_search.wait(steering.waitingForSync, offered);
    if (steering.clockShift != 0.0)
        m_clock.shift(steering.clockShift);
}

void CFSKDemodulator::BitDue()
{
    m_search.bitDecided();
    m_search.setPeriod(m_clock.period());
    const velkor::MskDetector::Bit coherent = m_detector.decide(m_sample, m_clock.countdown, m_clock.periodError);
    ProcessBit(coherent.settled ? coherent.one : m_clock.majority(), coherent.reliability);
    TakeSteering(false);
    m_clock.restart();
}

void CFSKDemodulator::Search(bool bit)
{
    const velkor::SyncSearch::Found found = m_search.process(bit, m_clock.decision(), m_clock.sinceBit);
    if (found.kind == velkor::SyncSearch::Found::Refine) {
        m_clock.shift(found.shift);
    } else if (found.kind == velkor::SyncSearch::Found::Offer) {
        const bool taken = ProcessSync(found.window);
        TakeSteering(true);
        // The bit at the middle of the run was the newest bit taken; the next one is due
        // one bit period after it.
        const double sample = static_cast<double>(m_sample);
        if (taken)
            m_clock.jump(found.middle + m_clock.period() - sample, sample - found.middle);
    }
}

void CFSKDemodulator::ProcessSamples(const int16_t* samples, unsigned count)
{
    const velkor::FlushDenormals flush;
    if (m_search.enabled())
        TakeSteering(false); // the decoder may have been handed bits directly
    for (unsigned k = 0; k < count; ++k) {
        const double x = m_band.process(sampleValue(samples[k]));
        const bool due = m_clock.process(m_tones.process(x));
        m_detector.process(x);
        // The majority as it was before the bit was decided: the clock's restart moves
        // no decision, so it stays the same.
        const bool bit = m_clock.majority();
        if (due)
            BitDue();
        if (m_search.enabled())
            Search(bit);
        ++m_sample;
    }
}

} // namespace velkor

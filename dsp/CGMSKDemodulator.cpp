#include "dsp/CGMSKDemodulator.h"

#include <algorithm>
#include <cmath>

namespace velkor {

namespace {
// Share of a bit period the moving average spans. A whole bit would be the matched
// filter for square bits; discriminator audio has rounded edges, and a shorter window
// leaves the crossings sharper (chosen by measurement in white noise).
constexpr double kFilterShare = 0.8;

// Share of a crossing's distance from the bit grid that is corrected at once.
constexpr double kClockGain = 0.12;

size_t movingSumLength(int sampleRate, int baudRate)
{
    const double samplesPerBit = (sampleRate > 0 && baudRate > 0) ? static_cast<double>(sampleRate) / baudRate : 1.0;
    return static_cast<size_t>(std::clamp(std::lround(kFilterShare * samplesPerBit), 1l, 4096l));
}
} // namespace

CGMSKDemodulator::CGMSKDemodulator(int sampleRate, int baudRate)
    : CPhaseLockedLoop(sampleRate, baudRate),
      m_sampleTime(sampleRate > 0 ? 1.0 / sampleRate : 0.0),
      m_bitPeriod(baudRate > 0 ? 1.0 / baudRate : 0.0),
      m_halfBitPeriod(baudRate > 0 ? 1.0 / (2.0 * baudRate) : 0.0),
      m_filter(movingSumLength(sampleRate, baudRate))
{
}

void CGMSKDemodulator::Advance(double seconds)
{
    m_timeAccumulator += seconds;
    while (m_timeAccumulator >= m_halfBitPeriod) {
        // A bit is yielded half a bit period into it, where its eye is widest: the
        // filtered audio there, against its usual size, is how sure the bit is.
        ProcessBit(m_negative, m_reliability.process(std::fabs(static_cast<double>(m_value))));
        ++m_runBits;
        m_timeAccumulator -= m_bitPeriod;
    }
}

void CGMSKDemodulator::ProcessSamples(const int16_t* samples, unsigned count)
{
    // Without a positive rate and bit rate a run has no duration in bit periods, and a
    // bit period of 0 would make the bit loop run forever.
    if (m_sampleTime <= 0.0 || m_bitPeriod <= 0.0)
        return;

    for (unsigned i = 0; i < count; ++i) {
        const int32_t before = m_sum;
        m_sum = m_filter.process(samples[i]);

        const bool negative = m_sum < 0;
        m_value = m_sum;
        if (negative == m_negative) {
            // Most samples end no bit: only the time is added.
            if (m_timeAccumulator + m_sampleTime < m_halfBitPeriod)
                m_timeAccumulator += m_sampleTime;
            else
                Advance(m_sampleTime);
            continue;
        }
        // Bits of the old run yielded now had their middle at or before its last sample.
        m_value = before;
        // The crossing lies between the two samples, where the straight line between
        // the two sums passes zero: the old run gets the time up to it.
        const double share = static_cast<double>(before) / (static_cast<double>(before) - m_sum);
        Advance(share * m_sampleTime);
        if (m_runBits > 0)
            m_timeAccumulator -= kClockGain * m_timeAccumulator;
        m_negative = negative;
        m_runBits = 0;
        m_value = m_sum;
        Advance((1.0 - share) * m_sampleTime);
    }
}

} // namespace velkor

#include "dsp/CGMSKDemodulator.h"

CGMSKDemodulator::CGMSKDemodulator(int sampleRate, int baudRate)
    : CPhaseLockedLoop(sampleRate, baudRate),
      m_bitPeriod(1.0 / baudRate),
      m_halfBitPeriod(1.0 / (2.0 * baudRate))
{
}

void CGMSKDemodulator::ProcessSamples(const int16_t* samples, unsigned count)
{
    // Without a positive rate and bit rate a run has no duration in bit periods, and a
    // negative bit period would make the bit loop below run forever.
    if (m_sampleRate <= 0 || m_baudRate <= 0)
        return;

    const double rate = m_sampleRate;
    unsigned i = 0;
    while (i < count) {
        const bool negative = samples[i] < 0;
        unsigned length = 1;
        ++i;
        while (i < count && (samples[i] < 0) == negative) {
            ++length;
            ++i;
        }
        m_timeAccumulator += length / rate;
        while (m_timeAccumulator >= m_halfBitPeriod) {
            ProcessBit(negative);
            m_timeAccumulator -= m_bitPeriod;
        }
    }
}

#include "dsp/CFSKDemodulator.h"

#include <cmath>
#include <limits>
#include <new>

namespace {
constexpr double kTwoPi = 6.283185307179586;

unsigned bitPeriod(int sampleRate, int baudRate)
{
    const float quotient = static_cast<float>(static_cast<double>(sampleRate) / baudRate);
    return static_cast<unsigned>(std::floor(quotient));
}

std::vector<double> allocate(uint64_t count)
{
    // An impossible size must fail loudly at construction, never wrap around.
    if (count * sizeof(double) > std::numeric_limits<uint32_t>::max())
        throw std::bad_alloc();
    return std::vector<double>(count, 0.0);
}
} // namespace

CFSKDemodulator::CFSKDemodulator(int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2)
    : CPhaseLockedLoop(sampleRate, baudRate),
      m_samplesPerBit(bitPeriod(sampleRate, baudRate)),
      m_windowMask(1u << ((m_samplesPerBit - 1) % 32)),
      m_tone1(tone1),
      m_tone2(tone2),
      m_countdown(static_cast<int32_t>(m_samplesPerBit))
{
    const uint32_t n = m_samplesPerBit;
    for (auto& table : m_tables)
        table = allocate(2ull * n);
    for (auto& ring : m_rings)
        ring = allocate(n);

    for (uint32_t i = 0; i < 2 * n; ++i) {
        const double frac = static_cast<double>(i) / n;
        const double theta1 = frac * kTwoPi * (static_cast<double>(m_tone1) / baudRate);
        const double theta2 = (static_cast<double>(m_tone2) / baudRate) * (frac * kTwoPi);
        m_tables[kSin1][i] = std::sin(theta1);
        m_tables[kCos1][i] = std::cos(theta1);
        m_tables[kSin2][i] = std::sin(theta2);
        m_tables[kCos2][i] = std::cos(theta2);
    }
}

double CFSKDemodulator::sampleValue(int16_t sample)
{
    const auto u = static_cast<uint16_t>(sample);
    return (static_cast<double>(u) - 32768.0) / 32768.0;
}

void CFSKDemodulator::ProcessSamples(const int16_t* samples, unsigned count)
{
    const uint32_t n = m_samplesPerBit;
    for (unsigned k = 0; k < count; ++k) {
        const double x = sampleValue(samples[k]);
        const uint32_t slot = m_phase % n;
        for (int r = 0; r < kRefs; ++r) {
            m_sums[r] -= m_rings[r][slot];
            m_rings[r][slot] = m_tables[r][m_phase] * x;
            m_sums[r] += m_rings[r][slot];
        }
        m_phase = (m_phase + 1) % (2 * n);

        if (m_decisions & m_windowMask)
            --m_onesCount;
        m_decisions <<= 1;
        const double a1 = std::sqrt(m_sums[kSin1] * m_sums[kSin1] + m_sums[kCos1] * m_sums[kCos1]);
        const double a2 = std::sqrt(m_sums[kSin2] * m_sums[kSin2] + m_sums[kCos2] * m_sums[kCos2]);
        if (a2 - a1 > 0) {
            m_decisions |= 1;
            ++m_onesCount;
        }

        if (--m_countdown == 0) {
            ProcessBit(m_onesCount > 4);
            int correction = 0;
            if (m_onesCount > 4) {
                const auto bit = [this](int k) { return (m_decisions >> k) & 1u; };
                if (!(bit(3) && bit(5)))
                    correction = bit(3) ? 3 : -3;
                else if (!(bit(2) && bit(6)))
                    correction = bit(2) ? 2 : -2;
                else if (!(bit(1) && bit(7)))
                    correction = bit(1) ? 1 : -1;
            }
            m_countdown = static_cast<int32_t>(n) + correction;
        }
    }
}

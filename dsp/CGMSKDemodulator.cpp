#include "dsp/CGMSKDemodulator.h"

#include "dsp/FlushDenormals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velkor {

namespace {
// Share of a bit period the moving average spans. A whole bit would be the matched
// filter for square bits; discriminator audio has rounded edges, and a shorter window
// leaves the crossings sharper (chosen by measurement in white noise).
constexpr double kFilterShare = 0.8;

// Corner of the de-emphasis that scanners' audio outputs apply (6 dB per octave above).
constexpr double kDeemphasisHz = 300.0;

// Mean frequency of the slope below which the input counts as de-emphasised, and above
// which as flat again. Measured on clean Motorola audio at 48000 and 11025 Hz: flat
// 1690 and 1540 Hz, through the de-emphasis 1150 and 1060 Hz, with the high-pass
// added 1200 and 1100 Hz.
constexpr double kEqualiseBelowHz = 1350.0;
constexpr double kFlatAboveHz = 1450.0;
// Below this the equalising slicer runs, so that it is under way when it is chosen;
// above it (noise alone lies far above) it rests, which saves a slicer's work on the
// silence between transmissions.
constexpr double kWarmBelowHz = 2000.0;

// Time over which the powers of the slope are averaged.
constexpr double kTiltSeconds = 0.02;

size_t movingSumLength(int sampleRate, int baudRate)
{
    const double samplesPerBit = (sampleRate > 0 && baudRate > 0) ? static_cast<double>(sampleRate) / baudRate : 1.0;
    return static_cast<size_t>(std::clamp(std::lround(kFilterShare * samplesPerBit), 1l, 4096l));
}

// y[n] = y[n-1] + a (x[n] - y[n-1]) is undone by x[n] = y[n] + (1 - a) / a (y[n] - y[n-1]).
double slopeLift(int sampleRate)
{
    const double a = 1.0 - std::exp(-2.0 * std::numbers::pi * kDeemphasisHz / sampleRate);
    return (1.0 - a) / a;
}

// The power of the second difference over that of the first is (2 pi f / rate)^2 for
// a tone of f Hz, and its mean over the spectrum otherwise.
double bendRatio(int sampleRate, double hz)
{
    const double w = 2.0 * std::numbers::pi * hz / sampleRate;
    return w * w;
}
} // namespace

CGMSKDemodulator::CGMSKDemodulator(int sampleRate, int baudRate)
    : CPhaseLockedLoop(sampleRate, baudRate)
    , m_valid(sampleRate > 0 && baudRate > 0)
    , m_lift(m_valid ? slopeLift(sampleRate) : 0.0)
    , m_energyGain(m_valid ? 1.0 / std::max(1.0, kTiltSeconds * sampleRate) : 0.0)
    , m_tiltLow(m_valid ? bendRatio(sampleRate, kEqualiseBelowHz) : 0.0)
    , m_tiltHigh(m_valid ? bendRatio(sampleRate, kFlatAboveHz) : 0.0)
    , m_tiltWarm(m_valid ? bendRatio(sampleRate, kWarmBelowHz) : 0.0)
    , m_filter(movingSumLength(sampleRate, baudRate))
    , m_slicers{velkor::RunSlicer(m_valid ? 1.0 / sampleRate : 0.0, m_valid ? 1.0 / baudRate : 0.0),
                velkor::RunSlicer(m_valid ? 1.0 / sampleRate : 0.0, m_valid ? 1.0 / baudRate : 0.0)}
{
}

void CGMSKDemodulator::SetDeemphasis(velkor::Deemphasis mode)
{
    m_mode = mode;
    if (mode != velkor::Deemphasis::Auto)
        m_active = mode == velkor::Deemphasis::On ? kEqualised : kFlat;
}

int CGMSKDemodulator::TiltChoice(double slope, double bend)
{
    m_slopePower += (slope * slope - m_slopePower) * m_energyGain;
    m_bendPower += (bend * bend - m_bendPower) * m_energyGain;
    if (m_active == kFlat && m_bendPower < m_tiltLow * m_slopePower)
        return kEqualised;
    if (m_active == kEqualised && m_bendPower > m_tiltHigh * m_slopePower)
        return kFlat;
    return m_active;
}

void CGMSKDemodulator::ProcessSamples(const int16_t* samples, unsigned count)
{
    // Without a positive rate and bit rate a run has no duration in bit periods, and a
    // bit period of 0 would make the bit loop run forever.
    if (!m_valid)
        return;
    const velkor::FlushDenormals flush;
    const bool automatic = m_mode == velkor::Deemphasis::Auto;
    const bool flat = automatic || m_mode == velkor::Deemphasis::Off;
    auto bit = [this](int slicer) {
        return [this, slicer](bool negative, float reliability) {
            if (slicer == m_active)
                ProcessBit(negative, reliability);
        };
    };
    for (unsigned i = 0; i < count; ++i) {
        const int32_t x = samples[i];
        const int32_t leaving = m_filter.samples[m_filter.pos];
        const int32_t sum = m_filter.process(samples[i]);
        const double slope = x - m_last;
        const double bend = slope - m_lastSlope;
        if (automatic)
            m_active = TiltChoice(slope, bend);
        const bool equalised = automatic ? m_active == kEqualised || m_bendPower < m_tiltWarm * m_slopePower
                                         : m_mode == velkor::Deemphasis::On;
        if (flat)
            m_slicers[kFlat].process(sum, bit(kFlat));
        if (equalised) {
            // The moving sum of the twice-lifted audio: its sum, twice the lift times the
            // sum of its slope, the lift squared times the sum of its bend.
            const double sumOfSlope = x - leaving;
            const double sumOfBend = slope - (leaving - m_lastLeaving);
            m_slicers[kEqualised].process(sum + 2.0 * m_lift * sumOfSlope + m_lift * m_lift * sumOfBend,
                                          bit(kEqualised));
        }
        m_last = x;
        m_lastLeaving = leaving;
        m_lastSlope = slope;
    }
}

} // namespace velkor

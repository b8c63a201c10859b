// Coherent detector for minimum-shift keying. With 1200 and 1800 Hz at 1200 baud the
// phase of the signal against the middle frequency turns a quarter turn up or down in
// each bit, so at the bit boundaries it sits on one of four points a quarter turn
// apart. Each boundary's point is read through the half-sine matched filter (two bit
// periods long) from the audio mixed down by the middle frequency; the carrier phase is
// estimated from the squared points of the recent boundaries (which the data does not
// turn); a bit is the direction of the turn between the points at its two ends, and
// the smaller of the two projections is how sure it is. This is some 4 dB more
// sensitive than counting tone decisions, once the estimate has seen a few bits.
#pragma once

#include "dsp/KernelBuffer.h"
#include "dsp/ReliabilityScale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velkor {

class MskDetector {
public:
    // The verdict on one bit: sure only once the carrier estimate has filled.
    struct Bit {
        bool settled = false;
        bool one = false;
        float reliability = 0.0f;
    };

    MskDetector(int rate, unsigned tone1, unsigned tone2, double samplesPerBit);

    // Keeps the (band-passed) sample for the matched filter.
    void process(double x)
    {
        m_filtered[m_filteredPos] = x;
        m_filtered[m_filteredPos + m_basebandLength] = x;
        if (++m_filteredPos == m_basebandLength)
            m_filteredPos = 0;
    }

    // The bit whose decision is due at `sample`, `countdown` samples off the ideal
    // instant (the bit clock's fraction). periodError: samples the transmitter's bit
    // period is longer than nominal, as the bit clock learned it; the clock that made
    // it so slow has lowered the tones alike.
    Bit decide(uint64_t sample, double countdown, double periodError = 0.0);

private:
    // Decay per bit of the carrier phase estimate: about ten bits of memory follows the
    // phase wander of real transmitters (and the sample-grid jitter of generated audio at
    // low rates) while averaging out the noise. Measured best among 0.8, 0.9, 0.95.
    static constexpr double kCarrierDecay = 0.9;
    // Bits decided before the carrier estimate is trusted.
    static constexpr unsigned kWarmupBits = 24;
    // Sub-sample centres of the matched filter.
    static constexpr int kPulsePhases = 8;

    using Complex = std::array<double, 2>;
    // The matched filter's window for a boundary at a fraction of a sample: the first
    // sample and which of the sub-sample pulses.
    struct Window {
        int64_t first = -1;
        int sub = 0;
        bool operator==(const Window&) const = default;
    };
    Window WindowAt(double at) const;
    // The matched filter's output summed over the window's taps [begin, end).
    Complex Filter(const Window& window, int64_t begin, int64_t end) const;
    // Positive for a 1.
    double Soft(uint64_t sample, double countdown, double periodError);
    static Complex HalfAngle(const Complex& z);
    // e^(j angle) for a small angle.
    static Complex Turn(double angle);

    double m_samplesPerBit;
    // The carrier's turn per bit for each sample the bit period is longer than nominal
    // (radians): the tones lower alike.
    double m_turnPerSample;
    std::vector<Complex> m_mix;     // e^-jwn of the middle frequency, whole cycles and a window
    uint32_t m_mixLength = 0;       // the whole cycles
    std::vector<double> m_filtered; // band-passed samples, each stored twice so that any
                                    // window of the recent past lies in one piece
    uint32_t m_basebandLength = 0;
    uint32_t m_filteredPos = 0;   // where the current sample goes: its number modulo the length
    std::vector<double> m_pulses; // the half-sine at kPulsePhases sub-sample centres
    int m_pulseHalf = 0;          // taps either side of the centre sample
    struct Partial {
        Window window;
        int64_t taps = 0; // summed so far
        Complex sum{};
    };
    Partial m_partial{}; // the newer boundary of the last bit
    Complex m_carrier{}; // squared boundary points, signs alternated, decaying
    ReliabilityScale m_reliability;
    bool m_secondHigher = false; // the tone of a 1 is the higher one
    unsigned m_bits = 0;         // bits decided since the start, up to the warm-up
};

inline MskDetector::MskDetector(int rate, unsigned tone1, unsigned tone2, double samplesPerBit)
    : m_samplesPerBit(samplesPerBit)
    , m_turnPerSample(-kTwoPi * (tone1 + tone2) / 2.0 / rate)
    , m_secondHigher(tone2 > tone1)
{
    // The middle frequency may be a half-integer: cycles of it are counted at twice the
    // rate. The table is extended by one window beyond the whole cycles, so that a
    // window of the past lies in one piece here too.
    const uint64_t twiceMiddle = uint64_t{tone1} + tone2;
    const uint64_t twiceRate = 2 * static_cast<uint64_t>(rate);
    const uint64_t mixLength = twiceMiddle == 0 ? 1 : twiceRate / std::gcd(twiceRate, twiceMiddle);
    m_mixLength = static_cast<uint32_t>(mixLength);
    m_mix = kernelBuffer<Complex>(mixLength + 2 * static_cast<uint64_t>(std::floor(samplesPerBit)) + 2);
    for (uint64_t i = 0; i < m_mix.size(); ++i) {
        const double a =
            kTwoPi * static_cast<double>(twiceMiddle) * static_cast<double>(i) / static_cast<double>(twiceRate);
        m_mix[i] = {std::cos(a), -std::sin(a)};
    }
    m_pulseHalf = static_cast<int>(std::floor(samplesPerBit));
    const auto taps = 2 * static_cast<size_t>(m_pulseHalf) + 2;
    for (int sub = 0; sub < kPulsePhases; ++sub) {
        const double centre = static_cast<double>(sub) / kPulsePhases;
        for (size_t t = 0; t < taps; ++t) {
            const double tau = (static_cast<double>(t) - m_pulseHalf - centre) / samplesPerBit;
            m_pulses.push_back(std::fabs(tau) < 1.0 ? std::cos(kTwoPi / 4.0 * tau) : 0.0);
        }
    }
    // The older boundary of a bit lies one and a half bit periods before the decision,
    // its window another bit period: four bit periods of the past are plenty.
    m_basebandLength = static_cast<uint32_t>(std::ceil(4 * samplesPerBit)) + 4;
    m_filtered = kernelBuffer<double>(2 * static_cast<uint64_t>(m_basebandLength));
}

inline MskDetector::Bit MskDetector::decide(uint64_t sample, double countdown, double periodError)
{
    const double soft = Soft(sample, countdown, periodError);
    Bit bit;
    bit.reliability = m_reliability.process(std::fabs(soft));
    bit.one = soft > 0.0;
    bit.settled = m_bits >= kWarmupBits;
    if (!bit.settled)
        ++m_bits;
    return bit;
}

inline MskDetector::Window MskDetector::WindowAt(double at) const
{
    double whole = std::floor(at);
    auto sub = static_cast<int>(std::lround((at - whole) * kPulsePhases));
    if (sub == kPulsePhases) {
        sub = 0;
        whole += 1.0;
    }
    return {static_cast<int64_t>(whole) - m_pulseHalf, sub};
}

inline MskDetector::Complex MskDetector::Filter(const Window& window, int64_t begin, int64_t end) const
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

inline double MskDetector::Soft(uint64_t sample, double countdown, double periodError)
{
    // The clock decides a bit half a bit period after the bit has ended (where its
    // counted window is centred on it); its ideal instant is the fraction of a sample
    // the countdown is off.
    const double newer = static_cast<double>(sample) + countdown - m_samplesPerBit / 2;
    const double older = newer - (m_samplesPerBit + periodError); // where the clock put the last
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
    const int64_t come = std::min(taps, static_cast<int64_t>(sample) - w1.first + 1);
    const Complex y1 = Filter(w1, 0, come);
    m_partial = {w1, std::max<int64_t>(come, 0), y1};
    // Neighbouring boundary points lie a quarter turn apart, their squares a half turn:
    // turning the sign at every step keeps the squares of all recent points aligned.
    // A clock a per cent off puts the tones 15 Hz off the middle frequency: the carrier
    // turns 4.5 degrees a bit, which the decaying estimate would lag by some 40. It is
    // turned on by as much before the new point is added. Taken from the bit clock
    // rather than measured from the points, whose noise would add to the estimate's.
    const Complex turn = Turn(m_turnPerSample * periodError);
    const Complex square = {y0[0] * y0[0] - y0[1] * y0[1], 2 * y0[0] * y0[1]};
    // The squares turn twice as far.
    const Complex turned = {turn[0] * turn[0] - turn[1] * turn[1], 2 * turn[0] * turn[1]};
    m_carrier = {square[0] - kCarrierDecay * (m_carrier[0] * turned[0] - m_carrier[1] * turned[1]),
                 square[1] - kCarrierDecay * (m_carrier[0] * turned[1] + m_carrier[1] * turned[0])};
    const Complex carrier = HalfAngle(m_carrier);
    if (carrier[0] == 0.0 && carrier[1] == 0.0)
        return 0.0;
    // The newer boundary is a bit later.
    const Complex later = {carrier[0] * turn[0] - carrier[1] * turn[1], carrier[0] * turn[1] + carrier[1] * turn[0]};
    const double u0 = y0[0] * carrier[0] + y0[1] * carrier[1]; // on the carrier's axis
    const double u1 = y1[1] * later[0] - y1[0] * later[1];     // a quarter turn on
    // Equal signs: the phase turned up, the higher tone.
    const double higher = (u0 * u1 > 0 ? 1.0 : -1.0) * std::min(std::fabs(u0), std::fabs(u1));
    return m_secondHigher ? higher : -higher;
}

inline MskDetector::Complex MskDetector::Turn(double angle)
{
    // The bit clock learns at most one and a half per cent, so the angle stays below 0.12
    // radian, where these series are exact to double precision and cheaper than the
    // library's sine and cosine. Multiplied by the reciprocals: the divisions would
    // follow one another.
    const double a2 = angle * angle;
    return {1.0 - a2 * (1.0 / 2) * (1.0 - a2 * (1.0 / 12) * (1.0 - a2 * (1.0 / 30) * (1.0 - a2 * (1.0 / 56)))),
            angle *
                (1.0 - a2 * (1.0 / 6) * (1.0 - a2 * (1.0 / 20) * (1.0 - a2 * (1.0 / 42) * (1.0 - a2 * (1.0 / 72)))))};
}

inline MskDetector::Complex MskDetector::HalfAngle(const Complex& z)
{
    // Of the two halves, the one within a quarter turn of the real axis: the carrier's
    // phase up to a half turn, which turns both projections alike.
    const double magnitude = std::sqrt(z[0] * z[0] + z[1] * z[1]);
    if (magnitude <= 0.0)
        return {0.0, 0.0};
    return {std::sqrt(std::max(0.0, (1 + z[0] / magnitude) / 2)),
            std::copysign(std::sqrt(std::max(0.0, (1 - z[0] / magnitude) / 2)), z[1])};
}

} // namespace velkor

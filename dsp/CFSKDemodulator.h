// Non-coherent two-tone detector for 1200 baud FFSK. Each tone is correlated with a
// sine and a cosine over a sliding one-bit window (products kept in rings, sums
// updated incrementally); at every sample the stronger tone gives a one-sample
// decision, and a bit is the majority of the decisions in a window centred on the bit
// when the bit clock runs out. The clock runs at the exact (fractional) bit period and
// is nudged by where the decisions change, so it locks to any signal phase.
#pragma once

#include "dsp/CPhaseLockedLoop.h"

#include <array>
#include <vector>

class CFSKDemodulator : public CPhaseLockedLoop {
public:
    CFSKDemodulator(int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2);

    void ProcessSamples(const int16_t* samples, unsigned count) override;

    // Samples per bit, rate / baud: a fraction where the rate is not a multiple.
    double samplesPerBit() const { return m_samplesPerBit; }
    unsigned correlatorLength() const { return m_correlatorLength; }
    unsigned countedWindow() const { return m_countedWindow; }

    // The value a 16-bit sample enters the correlators with.
    static double sampleValue(int16_t sample) { return sample / 32768.0; }

private:
    enum { kSin1, kCos1, kSin2, kCos2, kRefs };

    // The four references side by side, so that one sample touches one cache line of
    // each array.
    using Quad = std::array<double, kRefs>;
    std::vector<Quad> m_tables; // whole cycles of both tones
    std::vector<Quad> m_rings;  // the products of the last bit period
    std::array<double, kRefs> m_sums{};
    uint32_t m_phase = 0; // position in the tables
    uint32_t m_slot = 0;  // position in the rings
    double m_samplesPerBit;
    uint32_t m_correlatorLength; // ring length: the bit period rounded
    uint32_t m_countedWindow;    // decisions counted per bit
    uint64_t m_windowMask;
    uint64_t m_decisions = 0; // per-sample decisions, newest in bit 0
    uint32_t m_onesCount = 0; // 1-decisions among the counted window
    double m_countdown;       // samples left until the next bit is decided
    double m_sinceBit = 0;    // samples since the last bit was decided
    double m_transitionPhase; // where a change of decisions falls when the clock is right
    uint32_t m_warmup;        // samples until the correlators are full
};

// Non-coherent two-tone detector for 1200 baud FFSK. Each tone is correlated with a
// sine and a cosine over a sliding one-bit window (products kept in rings, sums
// updated incrementally); at every sample the stronger tone gives a one-sample
// decision, and a bit is taken from a count of recent decisions when the bit clock
// runs out. A 1-bit also nudges the clock so that its run of decisions is centred.
#pragma once

#include "dsp/CPhaseLockedLoop.h"

#include <array>
#include <vector>

class CFSKDemodulator : public CPhaseLockedLoop {
public:
    CFSKDemodulator(int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2);

    void ProcessSamples(const int16_t* samples, unsigned count) override;

    unsigned samplesPerBit() const { return m_samplesPerBit; }

    // The value a 16-bit sample enters the correlators with.
    static double sampleValue(int16_t sample);

private:
    enum { kSin1, kCos1, kSin2, kCos2, kRefs };

    std::array<std::vector<double>, kRefs> m_tables; // 2N entries: two bit periods
    std::array<std::vector<double>, kRefs> m_rings;  // N products
    std::array<double, kRefs> m_sums{};
    uint32_t m_phase = 0;
    uint32_t m_samplesPerBit;
    uint32_t m_windowMask;
    unsigned m_tone1;
    unsigned m_tone2;
    uint32_t m_decisions = 0;
    uint32_t m_onesCount = 0;
    int32_t m_countdown;
};

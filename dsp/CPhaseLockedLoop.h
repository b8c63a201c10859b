// Root of the demodulator tree: samples in through ProcessSamples, bits out through
// ProcessBit, which the protocol decoder derived from the demodulator implements. A bit
// crosses in one call together with how sure the demodulator is of it.
#pragma once

#include <cstdint>

namespace velkor {

class CPhaseLockedLoop {
public:
    CPhaseLockedLoop(int sampleRate, int baudRate)
        : m_sampleRate(sampleRate)
        , m_baudRate(baudRate)
    {
    }
    virtual ~CPhaseLockedLoop() = default;
    CPhaseLockedLoop(const CPhaseLockedLoop&) = delete;
    CPhaseLockedLoop& operator=(const CPhaseLockedLoop&) = delete;

    // Consumes the samples in order; calls ProcessBit once per decided bit, from within.
    virtual void ProcessSamples(const int16_t* samples, unsigned count) = 0;
    // reliability: 0 for a guess, about 1 for a clean bit.
    virtual void ProcessBit(bool bit, float reliability) = 0;
    // A bit known for sure (bits fed without audio).
    void ProcessBit(bool bit) { ProcessBit(bit, 1.0f); }

    int sampleRate() const { return m_sampleRate; }
    int baudRate() const { return m_baudRate; }

protected:
    int m_sampleRate;
    int m_baudRate;
};

} // namespace velkor

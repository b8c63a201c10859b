// Root of the demodulator tree: samples in through ProcessSamples, bits out through
// ProcessBit, which the protocol decoder derived from the demodulator implements.
#pragma once

#include <cstdint>

class CPhaseLockedLoop {
public:
    CPhaseLockedLoop(int sampleRate, int baudRate) : m_sampleRate(sampleRate), m_baudRate(baudRate) {}
    virtual ~CPhaseLockedLoop() = default;
    CPhaseLockedLoop(const CPhaseLockedLoop&) = delete;
    CPhaseLockedLoop& operator=(const CPhaseLockedLoop&) = delete;

    // Consumes the samples in order; calls ProcessBit once per decided bit, from within.
    virtual void ProcessSamples(const int16_t* samples, unsigned count) = 0;
    virtual void ProcessBit(bool bit) = 0;
    // The same bit with how sure the demodulator is of it: 0 for a guess, about 1 for a
    // clean bit. A decoder that can weigh its bits overrides this; the others get the bit.
    virtual void ProcessSoftBit(bool bit, float reliability)
    {
        static_cast<void>(reliability);
        ProcessBit(bit);
    }

    int sampleRate() const { return m_sampleRate; }
    int baudRate() const { return m_baudRate; }

protected:
    int m_sampleRate;
    int m_baudRate;
};

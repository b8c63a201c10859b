// Zero-crossing slicer for the 3600 bit/s Motorola control channel. Discriminator
// audio of a GMSK signal is, to a first approximation, NRZ: the sign of the audio is
// the bit. So every run of samples of one sign is timed, and it yields as many bits as
// its duration (plus the time carried over from earlier runs) holds bit periods,
// rounded to the nearest whole number. The rounding remainder is carried to the next
// run, so over any stretch of audio the bits follow sample time at exactly the bit
// rate; the crossings decide only the bits' values and where their boundaries fall.
// There is no filter and no timing loop.
#pragma once

#include "dsp/CPhaseLockedLoop.h"

class CGMSKDemodulator : public CPhaseLockedLoop {
public:
    CGMSKDemodulator(int sampleRate, int baudRate);

    // Calls ProcessBit with true for a bit of a negative run (samples below 0) and
    // false for a bit of a non-negative run. A run that reaches the end of the block
    // ends there; only the time remainder carries into the next block.
    void ProcessSamples(const int16_t* samples, unsigned count) override;

    // Time received but not yet turned into bits, in seconds: from minus half a bit
    // period up to (not including) plus half a bit period after every run.
    double timeAccumulator() const { return m_timeAccumulator; }

private:
    double m_bitPeriod;
    double m_halfBitPeriod;
    double m_timeAccumulator = 0.0;
};

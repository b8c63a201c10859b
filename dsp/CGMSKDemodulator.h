// Zero-crossing slicer for the 3600 bit/s Motorola control channel. Discriminator
// audio of a GMSK signal is, to a first approximation, NRZ: the sign of the audio is
// the bit. A short moving average (a little under one bit) takes the edge off the noise
// first. Every run of one sign then yields as many bits as its duration (plus the time
// carried over from earlier runs) holds bit periods, rounded to the nearest whole
// number, and the remainder carries on, so the bits follow sample time at exactly the
// bit rate. Each zero crossing that ends a run of at least half a bit pulls the bit
// grid a little towards itself: that is the timing recovery, and it follows any start
// phase and the usual few tens of ppm between transmitter and sound card. A bit is
// yielded in its middle; the filtered audio there, against its usual size, is handed
// on as how sure the bit is.
#pragma once

#include "dsp/CPhaseLockedLoop.h"
#include "dsp/MovingSum.h"
#include "dsp/ReliabilityScale.h"

namespace velkor {

class CGMSKDemodulator : public CPhaseLockedLoop {
public:
    CGMSKDemodulator(int sampleRate, int baudRate);

    // Calls ProcessBit with true for a bit of a negative run and false for a bit of a
    // non-negative run, as soon as the bit's time has passed. Block boundaries are
    // invisible: the same audio in other blocks gives the same bits.
    void ProcessSamples(const int16_t* samples, unsigned count) override;

    // Time received but not yet turned into bits, in seconds: from minus half a bit
    // period up to (not including) plus half a bit period between samples.
    double timeAccumulator() const { return m_timeAccumulator; }

    unsigned filterLength() const { return static_cast<unsigned>(m_filter.samples.size()); }

private:
    void Advance(double seconds);

    double m_sampleTime;
    double m_bitPeriod;
    double m_halfBitPeriod;
    double m_timeAccumulator = 0.0;

    velkor::MovingSum m_filter;
    int32_t m_sum = 0;           // the filter's newest output
    bool m_negative = false;     // sign of the current run
    unsigned m_runBits = 0;      // bits the current run has yielded
    int32_t m_value = 0;         // the filtered sample at which bits are being yielded
    velkor::ReliabilityScale m_reliability;
};

} // namespace velkor

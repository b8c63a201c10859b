// Zero-crossing slicer for the 3600 bit/s Motorola control channel. Discriminator
// audio of a GMSK signal is, to a first approximation, NRZ: the side of the audio is
// the bit. A short moving average (a little under one bit) takes the edge off the noise
// first; a run slicer (dsp/RunSlicer.h) then turns runs into bits at the bit rate,
// follows the bit grid and any DC offset, and hands on with each bit how sure it is.
//
// A scanner's speaker or line output is de-emphasised, about 6 dB per octave above
// 300 Hz, and often high-passed at 300 Hz as well: the NRZ audio comes out nearly
// integrated, and its crossings no longer mark the bits. A second slicer sees the audio
// through the inverse of that low-pass applied twice (the second lift undoes most of
// what the high-pass takes from long runs); over the moving sum each lift costs a
// difference of the samples that enter and leave it.
//
// Which slicer's bits are passed on follows the tilt of the spectrum: the mean
// frequency of the audio's slope (from the power of its first and second differences,
// neither of which sees DC) lies near 1600 Hz for discriminator audio, and near 1100 Hz
// behind a de-emphasis. White noise lies far above, so noise alone keeps the flat
// slicer, and so does a flat signal in noise.
#pragma once

#include "dsp/CPhaseLockedLoop.h"
#include "dsp/Deemphasis.h"
#include "dsp/MovingSum.h"
#include "dsp/RunSlicer.h"

#include <array>

namespace velkor {

class CGMSKDemodulator : public CPhaseLockedLoop {
public:
    CGMSKDemodulator(int sampleRate, int baudRate);

    // Calls ProcessBit with true for a bit of a negative run and false for a bit of a
    // non-negative run, as soon as the bit's time has passed. Block boundaries are
    // invisible: the same audio in other blocks gives the same bits.
    void ProcessSamples(const int16_t* samples, unsigned count) override;

    void SetDeemphasis(velkor::Deemphasis mode);
    velkor::Deemphasis deemphasis() const { return m_mode; }
    // The bits passed on come from the equalising slicer.
    bool equalising() const { return m_active == kEqualised; }

    // Of the flat slicer: time received but not yet turned into bits, in seconds.
    double timeAccumulator() const { return m_slicers[kFlat].timeAccumulator; }

    unsigned filterLength() const { return static_cast<unsigned>(m_filter.samples.size()); }

private:
    enum { kFlat, kEqualised };
    // The slicer the spectrum's tilt speaks for, with some hysteresis.
    int TiltChoice(double slope, double bend);

    bool m_valid;
    double m_lift;       // of the slope, to undo a one-pole low-pass at 300 Hz
    double m_energyGain; // of the running powers of the slope and the bend
    double m_tiltLow;    // bend power over slope power below which to equalise
    double m_tiltHigh;   // and above which to slice flat again
    double m_tiltWarm;   // and below which the equalising slicer runs while not chosen
    velkor::MovingSum m_filter;
    std::array<velkor::RunSlicer, 2> m_slicers;
    velkor::Deemphasis m_mode = velkor::Deemphasis::Auto;
    int m_active = kFlat;
    int32_t m_last = 0;        // the sample before the newest
    int32_t m_lastLeaving = 0; // the sample that left the moving sum before the newest
    double m_lastSlope = 0.0;
    double m_slopePower = 0.0;
    double m_bendPower = 0.0;
};

} // namespace velkor

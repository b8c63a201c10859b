// What a receiver's audio path does to the signal on its way to the sound card: the
// de-emphasis and high-pass of a speaker or line output, and the DC of a discriminator
// tap slightly off frequency. Analog prototypes through the bilinear transform, with
// the corner prewarped, so they are no sampled copy of any filter in the decoders.
#pragma once

#include "signal/Audio.h"

namespace testsignal {

// Single-pole (RC) low-pass: 6 dB per octave above cornerHz.
void lowPass1(Samples& samples, int rate, double cornerHz);
// Second-order Butterworth high-pass: 12 dB per octave below cornerHz.
void highPass2(Samples& samples, int rate, double cornerHz);
// Adds offset (full scale is 1) to every sample.
void addOffset(Samples& samples, double offset);

} // namespace testsignal

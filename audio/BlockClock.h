// The capture time of each block of live audio. What the decoding thread can measure
// when it takes a block (the time now, less what is still waiting behind the block and
// the device's own buffering) wobbles with every wake-up; the audio itself runs at a
// steady rate. So each block's time is the last one plus the last block's length,
// pulled a little towards the measurement to follow the sound card's clock as it
// drifts from the system's; a measurement far off (samples lost, the system clock
// set) starts the count afresh from it.
#pragma once

#include "audio/AudioSource.h"

#include <cstddef>
#include <optional>

namespace velkor {

class BlockClock {
public:
    explicit BlockClock(unsigned sampleRate)
        : m_rate(sampleRate ? sampleRate : 1)
    {
    }

    // measured: when the block's first sample was captured, as far as one look at the
    // clock can tell; samples: the block's length.
    CaptureTime stamp(CaptureTime measured, size_t samples);

    // Farther off than this, a measurement is taken as it is.
    static constexpr std::chrono::milliseconds kResync{200};
    // Each block moves the count this fraction of the way to the measurement.
    static constexpr int kPull = 16;

private:
    unsigned m_rate;
    std::optional<CaptureTime> m_next;
};

} // namespace velkor

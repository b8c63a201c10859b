// Where the decoder bank's audio comes from: a capture device or a file. A source is
// opened at a sample rate, then delivers blocks of signed 16-bit mono samples on a
// thread of its own until it is stopped or its input ends.
#pragma once

#include "notify/Result.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace velkor {

// Thrown by a constructor that cannot have its source (a decoder bank whose source does
// not open); the message is for the user.
class AudioSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// When the first sample of a block was captured, by the system's wall clock.
using CaptureTime = std::chrono::system_clock::time_point;

class AudioSource {
public:
    struct Handlers {
        // A filled block: bytes of 16-bit samples in host order. An odd trailing byte
        // is no sample. Runs on the source's thread, one block at a time. captured is
        // when its first sample was captured: for live audio the device's capture
        // time, for a recording its start time plus the block's position in it.
        std::function<void(const int16_t* samples, size_t bytes, CaptureTime captured)> block;
        // Audio that was lost before it could be delivered: samples dropped because
        // the consumer fell behind, and overflows the device itself reported (whose
        // size it does not tell). Both are counts since the last report.
        std::function<void(uint64_t lostSamples, uint64_t deviceOverflows)> overflow;
        // The input has ended by itself: success at the normal end of a file, else a
        // failure saying why. Called at most once, on the source's thread, after the
        // last block; never once stop() has returned.
        std::function<void(const velkor::Status& end)> ended;
    };

    virtual ~AudioSource() = default;

    // Readies the input for sampleRate and blocks of blockSamples samples. A failure
    // when the input does not exist or refuses the rate.
    virtual velkor::Status open(unsigned sampleRate, size_t blockSamples) = 0;
    // Starts delivering on the source's own thread; a failure when the input refuses.
    virtual velkor::Status start(Handlers handlers) = 0;
    // Returns once no handler runs and none will run again; prompt even when the
    // input delivers nothing. Harmless when not started or already stopped.
    virtual void stop() = 0;
    // Releases the input; stops first when still running.
    virtual void close() = 0;

    // What the input is, for messages: a device name or a file name.
    virtual std::string name() const = 0;
};

} // namespace velkor

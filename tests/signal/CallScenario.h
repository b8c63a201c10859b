// A control channel of calls at known places: slot s (from 0) carries a go-to-channel
// for unit 100 + s of fleet 1, called by unit 200, on traffic channel s + 1. Each slot
// is a system codeword and two address codewords (192 bits at 1200 bit/s), after a
// 32-bit preamble, so the go-to-channel of slot s ends (lead + (32 + 192 (s + 1)) /
// 1200) seconds into the recording.
#pragma once

#include "signal/Mpt1327Gen.h"

#include <cstdint>
#include <vector>

namespace testsignal {

struct CallRecording {
    int rate = 48000;
    std::vector<int16_t> pcm;
    std::vector<double> callEnds; // seconds from the start where call s's codeword ends
};

CallRecording callRecording(int calls, double leadSeconds = 0.5, int rate = 48000);

} // namespace testsignal

// Shared helpers of the NMT-450 tests: feeding bits straight into the decoder, and
// noting after which bit each event appeared.
#pragma once

#include "decoders/CNMT450.h"
#include "signal/Nmt450Gen.h"
#include "signal/RecordingSink.h"

#include <string>
#include <vector>

namespace nmttest {

struct Timed {
    size_t bit; // index of the bit whose arrival posted the event
    std::string event;
};

// Feeds the bits one at a time and returns every event with the bit that caused it.
inline std::vector<Timed> feed(CNMT450& decoder, testsignal::RecordingSink& sink, const testsignal::Bits& bits,
                               size_t firstIndex = 0)
{
    std::vector<Timed> out;
    for (size_t i = 0; i < bits.size(); ++i) {
        const size_t before = sink.events().size();
        decoder.ProcessBit(bits[i] != 0);
        const auto events = sink.events();
        for (size_t k = before; k < events.size(); ++k)
            out.push_back({firstIndex + i, testsignal::describe(events[k])});
    }
    return out;
}

// Frames of the given messages, back to back.
inline testsignal::Bits frames(const std::vector<uint64_t>& messages)
{
    testsignal::Bits bits;
    for (uint64_t m : messages)
        nmtgen::append(bits, m);
    return bits;
}

} // namespace nmttest

// Shared helpers of the NMT-450 tests: feeding bits straight into the decoder, and
// noting after which bit each event appeared.
#pragma once

#include "decoders/CNMT450.h"
#include "signal/Feed.h"
#include "signal/Nmt450Gen.h"

#include <string>
#include <vector>

using namespace velkor;

namespace nmttest {

using testsignal::Timed;

// Feeds the bits one at a time and returns every event with the bit that caused it.
inline std::vector<Timed> feed(CNMT450& decoder, testsignal::RecordingSink& sink, const testsignal::Bits& bits,
                               size_t firstIndex = 0)
{
    return testsignal::feedTimed(decoder, sink, bits, false, firstIndex);
}

// The same for a fresh decoder of its own.
inline std::vector<Timed> decodeFresh(const testsignal::Bits& bits)
{
    testsignal::RecordingSink sink;
    CNMT450 decoder(&sink, 48000);
    return feed(decoder, sink, bits);
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

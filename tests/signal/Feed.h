// Hands audio and bits to decoders the way velkor does: the capture's blocks of a
// twentieth of a second, every block to each decoder in the bank's order.
#pragma once

#include "signal/Audio.h"
#include "signal/RecordingSink.h"

#include <algorithm>
#include <string>
#include <vector>

namespace testsignal {

// Feeds count samples in blocks of block samples, each block to every decoder in turn.
template <typename... Decoders> void feedEvery(size_t block, const int16_t* pcm, size_t count, Decoders&... decoders)
{
    for (size_t i = 0; i < count; i += block) {
        const auto n = static_cast<unsigned>(std::min(block, count - i));
        (decoders.ProcessSamples(pcm + i, n), ...);
    }
}

// Feeds pcm, after `skip` samples, in capture blocks of rate/20 samples.
template <typename... Decoders>
void feedCapture(const std::vector<int16_t>& pcm, int rate, size_t skip, Decoders&... decoders)
{
    if (skip < pcm.size())
        feedEvery(static_cast<size_t>(rate / 20), pcm.data() + skip, pcm.size() - skip, decoders...);
}

// Feeds bits one at a time; `invert` for the Motorola slicer, which hands on true for
// a negative run (a 0 on the air).
template <typename Decoder> void feedBits(Decoder& decoder, const Bits& bits, bool invert = false)
{
    for (uint8_t bit : bits)
        decoder.ProcessBit((bit != 0) != invert);
}

struct Timed {
    size_t bit; // index of the bit whose arrival posted the event
    std::string event;
};

// Feeds the bits one at a time and returns every event with the bit that caused it.
template <typename Decoder>
std::vector<Timed> feedTimed(Decoder& decoder, RecordingSink& sink, const Bits& bits, bool invert = false,
                             size_t firstIndex = 0)
{
    std::vector<Timed> out;
    for (size_t i = 0; i < bits.size(); ++i) {
        const size_t before = sink.events().size();
        decoder.ProcessBit((bits[i] != 0) != invert);
        const auto events = sink.events();
        for (size_t k = before; k < events.size(); ++k)
            out.push_back({firstIndex + i, describe(events[k])});
    }
    return out;
}

// NMT-450, MPT 1327 and Motorola on one sink, fed capture blocks after `skip` samples
// as the bank feeds them; returns the frames NMT-450 accepted.
unsigned long decodeAsTheBank(RecordingSink& sink, const std::vector<int16_t>& pcm, int rate, size_t skip = 0);

// Bits as a string of '0' and '1'.
std::string bitString(const Bits& bits);

// The sample rates velkor offers.
inline constexpr int kOfferedRates[] = {48000, 44100, 36000, 24000, 22050, 21600, 12000, 11025, 10800};

} // namespace testsignal

// How sure the demodulator was of each of a decoder's recent bits, kept beside the bits
// so that a frame that fails its check can be mended where its bits were doubtful.
#pragma once

#include <array>
#include <bit>

namespace velkor {

template <unsigned N> struct SoftBits {
    static_assert(std::has_single_bit(N), "a ring of a power of two");

    void push(float reliability)
    {
        newest = (newest + 1) & (N - 1);
        ring[newest] = reliability;
    }
    // k bits before the newest (0: the newest).
    float back(unsigned k) const { return ring[(newest - k) & (N - 1)]; }

    std::array<float, N> ring{};
    unsigned newest = 0;
};

} // namespace velkor

// The buffers of the demodulator kernels are sized from the sample rate, which comes
// from a file header or the user: a size of nothing or of more than 16 M entries is a
// rate no sound card gives, and the kernel refuses it rather than grow without bound.
#pragma once

#include <cstdint>
#include <new>
#include <numeric>
#include <vector>

namespace velkor {

template <typename T> std::vector<T> kernelBuffer(uint64_t count)
{
    if (count == 0 || count > (uint64_t{1} << 24))
        throw std::bad_alloc();
    return std::vector<T>(count, T{});
}

// Samples for a whole number of cycles of a tone.
inline uint64_t cycleSamples(int rate, unsigned tone)
{
    return tone == 0 ? 1 : static_cast<uint64_t>(rate) / std::gcd(static_cast<uint64_t>(rate), uint64_t{tone});
}

constexpr double kTwoPi = 6.283185307179586;

} // namespace velkor

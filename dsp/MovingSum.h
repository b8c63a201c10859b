// Sum of the last N samples, updated by one addition and one subtraction a sample: a
// moving average without the division, for the GMSK slicer, which needs only its sign
// and its size against its usual size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkor {

struct MovingSum {
    explicit MovingSum(size_t length)
        : samples(length, 0)
    {
    }

    int32_t process(int16_t x)
    {
        sum += x - samples[pos];
        samples[pos] = x;
        if (++pos == samples.size())
            pos = 0;
        return sum;
    }

    std::vector<int16_t> samples;
    size_t pos = 0;
    int32_t sum = 0;
};

} // namespace velkor

// How sure a bit is: the size of the value it was decided from against the mean size
// of the recent ones, scaled so that a clean bit is about 1 (and never more).
#pragma once

#include <algorithm>

namespace velkor {

struct ReliabilityScale {
    float process(double size)
    {
        mean += (size - mean) / 32.0;
        return static_cast<float>(mean > 0.0 ? std::min(1.0, 0.8 * size / mean) : 0.0);
    }

    double mean = 0.0;
};

} // namespace velkor

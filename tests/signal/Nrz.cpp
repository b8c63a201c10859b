#include "signal/Nrz.h"

#include <cmath>

namespace testsignal {

namespace {
// Probability that a standard normal variable lies below x.
double normalCdf(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}
} // namespace

Samples nrz(const Bits& bits, const NrzOptions& o)
{
    const double period = 1.0 / o.baud;
    const double duration = o.leadSeconds + static_cast<double>(bits.size()) * period + o.tailSeconds;
    const auto total = static_cast<size_t>(std::ceil(duration * o.rate));
    Samples out(total, 0.0);
    const double level = o.inverted ? -o.amplitude : o.amplitude;
    const auto count = static_cast<long>(bits.size());

    if (o.gaussianBt <= 0.0) {
        for (size_t n = 0; n < total; ++n) {
            const double t = static_cast<double>(n) / o.rate - o.leadSeconds;
            if (t < 0)
                continue;
            const auto k = static_cast<long>(std::floor(t * o.baud));
            if (k >= count)
                break;
            out[n] = bits[static_cast<size_t>(k)] ? level : -level;
        }
        return out;
    }

    // Standard deviation in time of a Gaussian filter of 3 dB bandwidth BT / T.
    const double sigma = std::sqrt(std::log(2.0)) / (2.0 * M_PI * o.gaussianBt / period);
    const long reach = static_cast<long>(std::ceil(5.0 * sigma / period)) + 1;
    for (size_t n = 0; n < total; ++n) {
        const double t = static_cast<double>(n) / o.rate - o.leadSeconds;
        const auto centre = static_cast<long>(std::floor(t / period));
        double v = 0.0;
        for (long k = centre - reach; k <= centre + reach; ++k) {
            if (k < 0 || k >= count)
                continue;
            const double start = static_cast<double>(k) * period;
            const double pulse = normalCdf((t - start) / sigma) - normalCdf((t - start - period) / sigma);
            v += (bits[static_cast<size_t>(k)] ? 1.0 : -1.0) * pulse;
        }
        out[n] = level * v;
    }
    return out;
}

} // namespace testsignal

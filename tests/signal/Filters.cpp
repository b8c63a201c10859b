#include "signal/Filters.h"

#include <cmath>
#include <numbers>

namespace testsignal {

namespace {
// y = (b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2), a0 normalised to 1.
void biquad(Samples& s, double b0, double b1, double b2, double a1, double a2)
{
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    for (double& v : s) {
        const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = y;
    }
}

double prewarped(int rate, double cornerHz)
{
    return std::tan(std::numbers::pi * cornerHz / rate);
}
} // namespace

void lowPass1(Samples& samples, int rate, double cornerHz)
{
    const double k = prewarped(rate, cornerHz);
    biquad(samples, k / (1.0 + k), k / (1.0 + k), 0.0, (k - 1.0) / (k + 1.0), 0.0);
}

void highPass2(Samples& samples, int rate, double cornerHz)
{
    const double k = prewarped(rate, cornerHz);
    const double q = std::numbers::sqrt2 * k;
    const double norm = 1.0 / (1.0 + q + k * k);
    biquad(samples, norm, -2.0 * norm, norm, 2.0 * (k * k - 1.0) * norm, (1.0 - q + k * k) * norm);
}

void addOffset(Samples& samples, double offset)
{
    for (double& v : samples)
        v += offset;
}

} // namespace testsignal

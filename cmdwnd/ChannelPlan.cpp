#include "cmdwnd/ChannelPlan.h"

#include <cmath>

namespace velkor {

velkor_system_params_s systemParams(const velkor_channel_plan_s& plan)
{
    velkor_system_params_s p;
    p.base = plan.base / 10000.0;
    p.step = plan.step / 10000.0;
    p.offset = plan.offset;
    p.control_channel = 0;
    return p;
}

std::optional<double> channelFrequency(const velkor_system_params_s& p, uint32_t channel)
{
    const int64_t d = static_cast<int64_t>(channel) - p.offset;
    if (d < 0 || d > static_cast<int64_t>(UINT32_MAX))
        return std::nullopt;
    return p.base + static_cast<double>(d) * p.step;
}

int narrowFlag(const velkor_system_params_s& p)
{
    return p.step < 0.02 ? 1 : 0;
}

std::optional<int32_t> frequencyChannel(const velkor_system_params_s& p, double mhz)
{
    if (!(mhz > p.base) || !(p.step > 0.0))
        return std::nullopt;
    const double steps = std::trunc((mhz - p.base) / p.step);
    // A frequency far outside the plan has no channel number of 32 bits.
    if (!(steps <= static_cast<double>(INT32_MAX) - p.offset))
        return std::nullopt;
    return static_cast<int32_t>(steps) + p.offset;
}

} // namespace velkor

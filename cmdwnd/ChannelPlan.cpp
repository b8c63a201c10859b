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
    p.band = plan.band;
    p.band_error = plan.band_error;
    return p;
}

bool hasBandPlan(const velkor_system_params_s& p)
{
    return p.band.kind != MotorolaPlanKind::Obt || !p.band.rows.empty();
}

std::optional<double> channelFrequency(const velkor_system_params_s& p, uint32_t channel)
{
    // A typo in the plan must not send the scanner to a wrong band.
    if (!p.band_error.empty())
        return std::nullopt;
    if (hasBandPlan(p))
        return motorola_plan::frequencyOf(p.band, channel);
    const int64_t d = static_cast<int64_t>(channel) - p.offset;
    if (d < 0 || d > static_cast<int64_t>(UINT32_MAX))
        return std::nullopt;
    return p.base + static_cast<double>(d) * p.step;
}

int narrowFlag(const velkor_system_params_s& p, uint32_t channel)
{
    const MotorolaPlanRow* row = hasBandPlan(p) ? motorola_plan::rowOf(p.band, channel) : nullptr;
    return (row ? row->spacing : p.step) < 0.02 ? 1 : 0;
}

std::optional<int32_t> frequencyChannel(const velkor_system_params_s& p, double mhz)
{
    if (!p.band_error.empty())
        return std::nullopt;
    if (hasBandPlan(p)) {
        const std::optional<uint32_t> channel = motorola_plan::channelAt(p.band, mhz);
        return channel ? std::optional<int32_t>(static_cast<int32_t>(*channel)) : std::nullopt;
    }
    if (!(mhz > p.base) || !(p.step > 0.0))
        return std::nullopt;
    const double steps = std::trunc((mhz - p.base) / p.step);
    // A frequency far outside the plan has no channel number of 32 bits.
    if (!(steps <= static_cast<double>(INT32_MAX) - p.offset))
        return std::nullopt;
    return static_cast<int32_t>(steps) + p.offset;
}

} // namespace velkor

// A system's channel plan in memory and the arithmetic between channel numbers and
// frequencies. Channel n lies at base + (n - offset) * step.
#pragma once

#include "profile/VelkorConfig.h"

#include <cstdint>
#include <optional>

namespace velkor {

struct velkor_system_params_s {
    double base = 0.0; // MHz
    double step = 0.0; // MHz
    int16_t offset = 0;
    int32_t control_channel = 0; // where the scanner was last found; 0 until learned
};

// The plan as stored in velkor.ini (units of 100 Hz) in MHz, no control channel yet.
velkor_system_params_s systemParams(const velkor_channel_plan_s& plan);

// The frequency of channel n in MHz; nullopt for a channel below the offset, which has
// no frequency in the plan (the unsigned difference would put it 2^32 steps up).
std::optional<double> channelFrequency(const velkor_system_params_s& p, uint32_t channel);

// 1 when the plan's channels are narrow (a step below 20 kHz), else 0.
int narrowFlag(const velkor_system_params_s& p);

// The channel a frequency lies on, truncated toward zero; nullopt for a frequency not
// above the base (a scanner that reports none, 0.0, tells nothing).
std::optional<int32_t> frequencyChannel(const velkor_system_params_s& p, double mhz);

} // namespace velkor

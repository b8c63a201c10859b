// A system's channel plan in memory and the arithmetic between channel numbers and
// frequencies. Channel n lies at base + (n - offset) * step, unless the system has a
// Motorola band plan (a fixed 800/900 MHz plan, or OBT rows): then the plan decides, and
// a channel it does not cover has no frequency.
#pragma once

#include "profile/VelkorConfig.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velkor {

struct velkor_system_params_s {
    double base = 0.0; // MHz
    double step = 0.0; // MHz
    int16_t offset = 0;
    int32_t control_channel = 0; // where the scanner was last found; 0 until learned
    MotorolaBandPlan band{};     // obt without rows: the linear plan above
    // The band plan's keys were bad ("KEY=VALUE: reason"): nothing is tuned.
    std::string band_error{};
};

// Whether the band plan, rather than base, step and offset, maps the channels.
bool hasBandPlan(const velkor_system_params_s& p);

// The plan as stored in velkor.ini (units of 100 Hz) in MHz, no control channel yet.
velkor_system_params_s systemParams(const velkor_channel_plan_s& plan);

// The frequency of channel n in MHz; nullopt for a channel below the offset, which has
// no frequency in the plan (the unsigned difference would put it 2^32 steps up).
std::optional<double> channelFrequency(const velkor_system_params_s& p, uint32_t channel);

// 1 when the channel is narrow (a step below 20 kHz), else 0.
int narrowFlag(const velkor_system_params_s& p, uint32_t channel);

// The channel a frequency lies on, truncated toward zero; nullopt for a frequency not
// above the base (a scanner that reports none, 0.0, tells nothing). With a band plan,
// the channel nearest to it, if it lies on one.
std::optional<int32_t> frequencyChannel(const velkor_system_params_s& p, double mhz);

} // namespace velkor

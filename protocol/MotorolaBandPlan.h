// Motorola band plans: how the channel numbers of a system's grants (the commands of
// its channel words) map to the frequencies a scanner listens to (outbound, MHz).
//
// Systems on 800 and 900 MHz use fixed plans whose channel numbers run from 0. VHF/UHF
// ("OBT") systems are licensed by range: each row gives a base frequency, a spacing and
// the first channel number it covers, up to the next row's first channel (the last row
// up to 759). An OBT system without rows keeps the single linear plan of sysBase,
// sysStep and sysOffset (cmdwnd/ChannelPlan.h).
#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace velkor {

enum class MotorolaPlanKind : uint8_t { Obt, Standard800, Splinter800, Rebanded800, Band900 };

// Channels first ... last lie at base + spacing * (channel - first), all in MHz.
struct MotorolaPlanRow {
    double base = 0.0;
    double spacing = 0.0;
    uint16_t first = 0;
    uint16_t last = 0;
};

struct MotorolaBandPlan {
    MotorolaPlanKind kind = MotorolaPlanKind::Obt;
    std::vector<MotorolaPlanRow> rows; // OBT only; none: the linear plan
};

// The plans of the systems that have one, by system identity; kAnySystem's plan serves
// every announced system without one of its own (a recording decoded without settings).
using MotorolaPlans = std::map<uint32_t, MotorolaBandPlan>;

namespace motorola_plan {

inline constexpr uint32_t kAnySystem = UINT32_MAX; // identities are 16-bit
inline constexpr uint16_t kObtLastChannel = 759;
inline constexpr size_t kMaxRows = 8;
// Commands from here on are no channels of the fixed plans' main ranges (0x2F8 is idle).
inline constexpr uint16_t kFirstNonChannel = 0x2F8;

struct Named {
    std::string_view name;
    MotorolaPlanKind kind;
};
inline constexpr Named kNames[] = {{"800-standard", MotorolaPlanKind::Standard800},
                                   {"800-splinter", MotorolaPlanKind::Splinter800},
                                   {"800-rebanded", MotorolaPlanKind::Rebanded800},
                                   {"900", MotorolaPlanKind::Band900},
                                   {"obt", MotorolaPlanKind::Obt}};

inline std::optional<MotorolaPlanKind> kindNamed(std::string_view name)
{
    for (const Named& n : kNames) {
        if (n.name == name)
            return n.kind;
    }
    return std::nullopt;
}

inline bool is800(MotorolaPlanKind kind)
{
    return kind == MotorolaPlanKind::Standard800 || kind == MotorolaPlanKind::Splinter800 ||
        kind == MotorolaPlanKind::Rebanded800;
}

// The three 800 MHz plans share the channels from 720 on.
inline constexpr MotorolaPlanRow kStandard800[] = {{851.0125, 0.025, 0, 719},
                                                   {866.0000, 0.025, 720, 759},
                                                   {867.0000, 0.025, 815, 831},
                                                   {868.9750, 0.025, 958, 958},
                                                   {867.4250, 0.025, 961, 1022}};
inline constexpr MotorolaPlanRow kSplinter800[] = {{851.0000, 0.025, 0, 599},   {866.0125, 0.025, 600, 719},
                                                   {866.0000, 0.025, 720, 759}, {867.0000, 0.025, 815, 831},
                                                   {868.9750, 0.025, 958, 958}, {867.4250, 0.025, 961, 1022}};
inline constexpr MotorolaPlanRow kRebanded800[] = {{851.0125, 0.025, 0, 439},   {851.0250, 0.025, 440, 559},
                                                   {866.0000, 0.025, 720, 759}, {867.0000, 0.025, 815, 831},
                                                   {868.9750, 0.025, 958, 958}, {867.4250, 0.025, 961, 1022}};
inline constexpr MotorolaPlanRow kBand900[] = {{935.0125, 0.0125, 0, 478}};

inline std::span<const MotorolaPlanRow> rowsOf(const MotorolaBandPlan& plan)
{
    switch (plan.kind) {
    case MotorolaPlanKind::Standard800:
        return kStandard800;
    case MotorolaPlanKind::Splinter800:
        return kSplinter800;
    case MotorolaPlanKind::Rebanded800:
        return kRebanded800;
    case MotorolaPlanKind::Band900:
        return kBand900;
    case MotorolaPlanKind::Obt:
        break;
    }
    return plan.rows;
}

// The row a channel lies in; null for a channel the plan does not cover.
inline const MotorolaPlanRow* rowOf(const MotorolaBandPlan& plan, uint32_t channel)
{
    for (const MotorolaPlanRow& row : rowsOf(plan)) {
        if (channel >= row.first && channel <= row.last)
            return &row;
    }
    return nullptr;
}

inline std::optional<double> frequencyOf(const MotorolaBandPlan& plan, uint32_t channel)
{
    const MotorolaPlanRow* row = rowOf(plan, channel);
    if (!row)
        return std::nullopt;
    return row->base + row->spacing * static_cast<double>(channel - row->first);
}

// The channel on which mhz lies: within a quarter of its row's spacing, so that the
// rows that interleave 12.5 kHz apart (866.0000 and 866.0125) stay apart, and of those
// the nearest, so that a row of wide spacing does not take a frequency of another.
inline std::optional<uint32_t> channelAt(const MotorolaBandPlan& plan, double mhz)
{
    std::optional<uint32_t> nearest;
    double nearestOff = 0.0;
    for (const MotorolaPlanRow& row : rowsOf(plan)) {
        const double steps = (mhz - row.base) / row.spacing;
        const double n = std::round(steps);
        if (!(n >= 0.0 && n <= row.last - row.first && std::fabs(steps - n) < 0.25))
            continue;
        const double off = std::fabs(mhz - (row.base + row.spacing * n));
        if (!nearest || off < nearestOff) {
            nearest = row.first + static_cast<uint32_t>(n);
            nearestOff = off;
        }
    }
    return nearest;
}

// Whether a word's command is a channel number under a fixed plan, as the decoder
// reads the words of such a system (the plan itself decides which it covers).
inline bool isChannelCommand(MotorolaPlanKind kind, uint16_t command)
{
    if (command < kFirstNonChannel)
        return true;
    return is800(kind) && ((command >= 815 && command <= 831) || command == 958 || (command >= 961 && command <= 1022));
}

} // namespace motorola_plan
} // namespace velkor

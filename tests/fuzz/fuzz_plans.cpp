// Any text as a system's channel-plan settings in velkor.ini: the Motorola band plan's
// name (sysBandPlan_N), its rows (sysRows_N, BASE_MHZ/SPACING_KHZ/OFFSET,...) and the
// linear plan's base, step and offset (sysBase_N, sysStep_N, sysOffset_N), one line of
// the input each, read as the program reads them. A plan that is taken gives every
// channel it covers a finite frequency above 0, and that frequency gives the channel
// back (or one at the same frequency); a plan that is refused says why, naming the key.
// Covers profile/MotorolaPlanText, the plan lookups of protocol/MotorolaBandPlan.h and
// VelkorConfig's channelPlan, motorolaPlan and fixedMotorolaPlans.
#include "FuzzUtil.h"
#include "profile/MotorolaPlanText.h"
#include "profile/VelkorConfig.h"

#include <cmath>
#include <string>
#include <string_view>

using namespace velkor;

namespace {

void checkPlan(const MotorolaBandPlan& plan)
{
    const auto rows = motorola_plan::rowsOf(plan);
    FUZZ_CHECK(rows.size() <= motorola_plan::kMaxRows || plan.kind != MotorolaPlanKind::Obt);
    for (const MotorolaPlanRow& row : rows) {
        FUZZ_CHECK(row.first <= row.last);
        for (uint32_t channel : {uint32_t(row.first), uint32_t(row.last)}) {
            const auto mhz = motorola_plan::frequencyOf(plan, channel);
            FUZZ_CHECK(mhz && std::isfinite(*mhz) && *mhz > 0.0);
            const auto back = motorola_plan::channelAt(plan, *mhz);
            FUZZ_CHECK(back.has_value());
            FUZZ_CHECK(*motorola_plan::frequencyOf(plan, *back) == *mhz || *back == channel);
        }
    }
}

// The input's next line, without its line end.
std::string line(std::string_view& text)
{
    const size_t end = text.find('\n');
    std::string out(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzzutil::ScratchFile ini("plans.ini");
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string name = line(text);
    const std::string rows = line(text);

    // The texts alone, as the settings dialog checks them.
    if (const auto plan = parseMotorolaPlanName(name))
        FUZZ_CHECK(plan->rows.empty());
    if (const auto parsed = parseMotorolaRows(rows)) {
        MotorolaBandPlan plan;
        plan.rows = *parsed;
        checkPlan(plan);
    }

    // As settings of system 7.
    std::string file = "[systems]\nsysBandPlan_7=" + name + "\nsysRows_7=" + rows + "\n";
    for (const char* key : {"sysBase_7=", "sysStep_7=", "sysOffset_7="})
        file += key + line(text) + "\n";
    ini.write(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    const auto config = VelkorConfig::load(ini.path());
    FUZZ_CHECK(config.ok());
    const velkor_channel_plan_s plan = config->channelPlan(7);
    if (plan.band_error.empty())
        checkPlan(plan.band);
    else
        FUZZ_CHECK(plan.band_error.rfind("sysBandPlan_7=", 0) == 0 || plan.band_error.rfind("sysRows_7=", 0) == 0);
    for (const auto& [system, fixed] : config->fixedMotorolaPlans()) {
        FUZZ_CHECK(system == 7 && fixed.kind != MotorolaPlanKind::Obt);
        checkPlan(fixed);
    }
    return 0;
}

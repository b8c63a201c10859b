// A Motorola band plan as a user writes it: a plan name (800-standard, 800-splinter,
// 800-rebanded, 900, obt) and, for obt, rows as RadioReference's custom frequency
// tables give them: BASE_MHZ/SPACING_KHZ/OFFSET,... (451.00625/6.25/380,453.0125/12.5/500).
#pragma once

#include "notify/Result.h"
#include "protocol/MotorolaBandPlan.h"

#include <string_view>

namespace velkor {

// name empty means obt; rows empty means none. The reason names no key: the caller
// knows where the text came from.
velkor::Result<MotorolaBandPlan> parseMotorolaPlanName(std::string_view name);
velkor::Result<std::vector<MotorolaPlanRow>> parseMotorolaRows(std::string_view rows);

} // namespace velkor

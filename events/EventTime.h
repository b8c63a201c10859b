// Event times as other programs read them: UTC, ISO 8601, to the millisecond
// ("2024-05-01T12:34:56.789Z"), and the start times users type for a recording.
#pragma once

#include "notify/Result.h"
#include "protocol/commands.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace velkor {

// The time in UTC with milliseconds (cut, not rounded: an event is never shown later
// than it was).
std::string formatEventTime(EventClock::time_point time);

// "YYYY-MM-DDTHH:MM[:SS[.fraction]]" with "Z" or an offset ("+02:00", "-0500"), or
// without either for local time; a space may stand for the "T". A failure, saying what
// was expected, for anything else.
velkor::Result<EventClock::time_point> parseEventTime(std::string_view text);

// The local calendar date of a time as "YYYY-MM-DD" (the daily files' names).
std::string localDate(EventClock::time_point time);

} // namespace velkor

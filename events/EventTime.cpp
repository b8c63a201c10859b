#include "events/EventTime.h"

#include <cstdio>

namespace velkor {

namespace {

bool digits(std::string_view s, size_t at, size_t count, int* value)
{
    if (at + count > s.size())
        return false;
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    *value = v;
    return true;
}

} // namespace

std::string formatEventTime(EventClock::time_point time)
{
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const int millis = static_cast<int>(ms - static_cast<long long>(seconds) * 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
    return text;
}

std::string localDate(EventClock::time_point time)
{
    const std::time_t seconds = EventClock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return text;
}

velkor::Result<EventClock::time_point> parseEventTime(std::string_view s)
{
    const std::string expected = "\"" + std::string(s) +
        "\" is no time: expected YYYY-MM-DDTHH:MM:SS[.mmm] with Z, an offset such as "
        "+02:00, or nothing for local time";
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(s, 0, 4, &year) || s.size() < 16 || s[4] != '-' || !digits(s, 5, 2, &month) || s[7] != '-' ||
        !digits(s, 8, 2, &day) || (s[10] != 'T' && s[10] != 't' && s[10] != ' ') || !digits(s, 11, 2, &hour) ||
        s[13] != ':' || !digits(s, 14, 2, &minute))
        return velkor::fail(expected);
    size_t at = 16;
    std::chrono::nanoseconds fraction{0};
    if (at < s.size() && s[at] == ':') {
        if (!digits(s, at + 1, 2, &second))
            return velkor::fail(expected);
        at += 3;
        if (at < s.size() && (s[at] == '.' || s[at] == ',')) {
            ++at;
            long long scale = 100000000;
            const size_t first = at;
            for (; at < s.size() && s[at] >= '0' && s[at] <= '9'; ++at) {
                fraction += std::chrono::nanoseconds((s[at] - '0') * scale);
                scale /= 10;
            }
            if (at == first)
                return velkor::fail(expected);
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return velkor::fail("\"" + std::string(s) + "\" is no valid date and time");

    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    std::time_t seconds = 0;
    if (at == s.size()) {
        tm.tm_isdst = -1;
        seconds = std::mktime(&tm);
    } else {
        int offsetMinutes = 0;
        if ((s[at] == 'Z' || s[at] == 'z') && at + 1 == s.size()) {
            offsetMinutes = 0;
        } else if (s[at] == '+' || s[at] == '-') {
            int oh = 0, om = 0;
            const std::string_view zone = s.substr(at + 1);
            const bool colon = zone.size() == 5 && zone[2] == ':';
            if (!(zone.size() == 4 || colon) || !digits(zone, 0, 2, &oh) || !digits(zone, colon ? 3 : 2, 2, &om) ||
                oh > 23 || om > 59)
                return velkor::fail(expected);
            offsetMinutes = (oh * 60 + om) * (s[at] == '-' ? -1 : 1);
        } else {
            return velkor::fail(expected);
        }
        seconds = timegm(&tm) - static_cast<std::time_t>(offsetMinutes) * 60;
    }
    // mktime and timegm normalise 31 February into March; such a date was mistyped.
    if (tm.tm_mday != day || tm.tm_mon != month - 1)
        return velkor::fail("\"" + std::string(s) + "\" is no valid date and time");
    // The clock counts nanoseconds in 64 bits: from 1677-09-21 to 2262-04-11.
    constexpr auto kFirst = std::chrono::duration_cast<std::chrono::seconds>(EventClock::duration::min()).count() + 1;
    constexpr auto kLast = std::chrono::duration_cast<std::chrono::seconds>(EventClock::duration::max()).count() - 1;
    if (seconds < kFirst || seconds > kLast)
        return velkor::fail("\"" + std::string(s) + "\" is outside the times the program can count (1678 to 2261)");
    return EventClock::from_time_t(seconds) + std::chrono::duration_cast<EventClock::duration>(fraction);
}

} // namespace velkor

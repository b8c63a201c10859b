#include "profile/MotorolaPlanText.h"

#include <charconv>
#include <cmath>
#include <string>

namespace velkor {

namespace {

constexpr double kMaxMhz = 100000.0;
constexpr double kMinSpacingMhz = 0.00001;

// The whole of text as a number, or nullopt.
template <class T> std::optional<T> number(std::string_view text)
{
    T value{};
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || at != end)
        return std::nullopt;
    return value;
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (size_t at = 0;;) {
        const size_t next = text.find(separator, at);
        std::string_view part = text.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at);
        // Copied tables often carry blanks after the separators.
        while (!part.empty() && (part.front() == ' ' || part.front() == '\t'))
            part.remove_prefix(1);
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t'))
            part.remove_suffix(1);
        parts.push_back(part);
        if (next == std::string_view::npos)
            return parts;
        at = next + 1;
    }
}

velkor::Result<MotorolaPlanRow> parseRow(std::string_view text)
{
    const std::vector<std::string_view> fields = split(text, '/');
    if (fields.size() != 3)
        return velkor::fail("row \"" + std::string(text) + "\" is not BASE_MHZ/SPACING_KHZ/OFFSET");
    const auto base = number<double>(fields[0]);
    const auto spacing = number<double>(fields[1]);
    const auto offset = number<uint16_t>(fields[2]);
    if (!base || !spacing || !offset)
        return velkor::fail("row \"" + std::string(text) + "\" holds text that is no number");
    if (!(*base > 0.0) || !(*spacing > 0.0))
        return velkor::fail("row \"" + std::string(text) + "\" needs a base and a spacing above 0");
    if (*offset > motorola_plan::kObtLastChannel)
        return velkor::fail("row \"" + std::string(text) + "\" starts above channel 759");
    // "inf" reads as a number; and far above any radio, or with a spacing of a few Hz,
    // the channels' frequencies can no longer be told apart in a double.
    const double spacingMhz = *spacing / 1000.0;
    if (!(*base + spacingMhz * (motorola_plan::kObtLastChannel - *offset) < kMaxMhz))
        return velkor::fail("row \"" + std::string(text) + "\" puts channels above 100000 MHz");
    if (spacingMhz < kMinSpacingMhz)
        return velkor::fail("row \"" + std::string(text) + "\" needs a spacing of at least 0.01 kHz");
    return MotorolaPlanRow{*base, spacingMhz, *offset, motorola_plan::kObtLastChannel};
}

} // namespace

velkor::Result<MotorolaBandPlan> parseMotorolaPlanName(std::string_view name)
{
    MotorolaBandPlan plan;
    if (name.empty())
        return plan;
    const auto kind = motorola_plan::kindNamed(name);
    if (!kind)
        return velkor::fail("unknown band plan (800-standard, 800-splinter, 800-rebanded, 900 or obt)");
    plan.kind = *kind;
    return plan;
}

velkor::Result<std::vector<MotorolaPlanRow>> parseMotorolaRows(std::string_view text)
{
    std::vector<MotorolaPlanRow> rows;
    if (text.empty())
        return rows;
    for (std::string_view part : split(text, ',')) {
        auto row = parseRow(part);
        if (!row)
            return velkor::fail(row.error());
        // Each row runs up to the one after it, so their first channels must rise.
        if (!rows.empty() && row->first <= rows.back().first)
            return velkor::fail("rows overlap or go backwards at \"" + std::string(part) + "\"");
        if (!rows.empty())
            rows.back().last = static_cast<uint16_t>(row->first - 1);
        rows.push_back(*row);
    }
    if (rows.size() > motorola_plan::kMaxRows)
        return velkor::fail("more than 8 rows");
    return rows;
}

} // namespace velkor

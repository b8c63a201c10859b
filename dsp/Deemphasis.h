// Whether the GMSK slicer equalises a de-emphasised input (a scanner's speaker or line
// output) before slicing: auto decides by which of the flat and the equalised slicer
// yields frames; on and off force it.
#pragma once

#include <optional>
#include <string_view>

namespace velkor {

enum class Deemphasis { Auto, On, Off };

inline const char* deemphasisName(Deemphasis d)
{
    return d == Deemphasis::On ? "on" : d == Deemphasis::Off ? "off" : "auto";
}

// None for anything but "auto", "on" and "off".
inline std::optional<Deemphasis> parseDeemphasis(std::string_view text)
{
    if (text == "auto")
        return Deemphasis::Auto;
    if (text == "on")
        return Deemphasis::On;
    if (text == "off")
        return Deemphasis::Off;
    return std::nullopt;
}

} // namespace velkor

// What every command-line program shares: --version, the closing part of --help
// (examples, files, exit statuses: the man pages are made from the same text) and the
// check that says a value is not a number before any range is tried.
#pragma once

#include <CLI/CLI.hpp>

#include <charconv>
#include <string>

#ifndef VELKOR_VERSION
#error "VELKOR_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace velkor {

inline constexpr const char* kVersion = VELKOR_VERSION;

// "--version" prints "NAME VERSION"; the footer ends --help.
inline void setupTool(CLI::App& app, const std::string& name, const std::string& footer)
{
    app.name(name);
    app.set_version_flag("--version", name + " " + kVersion, "print the program's name and version and exit");
    app.footer(footer + "\n");
}

// A whole number, or any number when fractions are allowed; the option's name goes in
// front of the message ("--rate: 'abc' is not a number").
inline CLI::Validator numberCheck(bool whole)
{
    return CLI::Validator(
        [whole](std::string& text) -> std::string {
            const char* begin = text.data();
            const char* end = begin + text.size();
            if (!text.empty() && *begin == '+')
                ++begin;
            long long asWhole = 0;
            double asReal = 0.0;
            if (const auto r = std::from_chars(begin, end, asWhole); r.ec == std::errc() && r.ptr == end)
                return {};
            const auto r = std::from_chars(begin, end, asReal);
            if (r.ec != std::errc() || r.ptr != end || begin == end)
                return "'" + text + "' is not a number";
            return whole ? "'" + text + "' is not a whole number" : std::string();
        },
        "", "number");
}

inline CLI::Validator wholeNumber()
{
    return numberCheck(true);
}

inline CLI::Validator anyNumber()
{
    return numberCheck(false);
}

} // namespace velkor

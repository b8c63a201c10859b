// The address book's column widths as the user left them, kept for the next start in
// an additive [view] section of velkor.ini (addrbook.ini keeps the Windows layout).
// Widths are in horizontal dialog units of the dialog's font, a quarter of its average
// character width, so that a column widened for long names stays wide enough when the
// desktop's font grows. Only columns the user has resized are written.
#pragma once

#include "notify/Result.h"

#include <array>
#include <optional>
#include <string>

namespace velkor {

namespace column_widths {

constexpr const char* kSection = "view";
constexpr std::array<const char*, 4> kKeys = {"name_width", "ident_width", "comment_width", "last_seen_width"};

using Widths = std::array<std::optional<int>, 4>;

// The stored widths; a missing, empty or non-positive value is none. A file that cannot
// be read gives none at all.
Widths load(const std::string& path);
// Writes the given widths into the file, keeping everything else in it; a failure when
// the file cannot be read or written.
velkor::Status save(const std::string& path, const Widths& widths);

} // namespace column_widths

} // namespace velkor

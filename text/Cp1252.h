// The program's one conversion between the Windows-1252 code page and UTF-8.
//
// Log lines are formatted as Windows-1252 bytes inside the program (an NMT-450 line
// carries "ø" as the single byte 0xF8) and the address book file may have been written
// by a Windows program in that code page; what is shown, printed or typed is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkor {

// Windows-1252 bytes as UTF-8. The five bytes that Windows-1252 leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) become the C1 control of the same value, as Windows' own
// conversion does, so no byte is ever lost.
std::string cp1252ToUtf8(std::string_view bytes);

// UTF-8 as Windows-1252 for the 8-bit world (the log, the scanner's display):
// characters outside the code page become '?'. Text that is not valid UTF-8 (already
// 8-bit) and plain ASCII pass unchanged.
std::string utf8ToCp1252(std::string_view utf8);

// The Windows-1252 bytes of valid UTF-8 text, or nullopt when it is not valid UTF-8 or
// holds a character the code page cannot hold.
std::optional<std::string> utf8ToCp1252Exact(std::string_view utf8);

// Strictly valid UTF-8: no overlong forms, surrogates, code points beyond U+10FFFF or
// truncated sequences.
bool isValidUtf8(std::string_view bytes);

// True when any byte is outside ASCII.
bool hasNonAscii(std::string_view bytes);

} // namespace velkor

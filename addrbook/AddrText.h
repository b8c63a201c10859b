// How the texts of the address book meet the 8-bit world.
//
// Inside the program every name, comment and Last Seen text is UTF-8, which is what the
// dialog gives us. The file, however, may have been written by a Windows program in
// the Windows-1252 code page ("ø" as the single byte 0xF8), and log lines are
// Windows-1252 as well. The rule, chosen so that no name is ever corrupted:
//
// - Reading: a value that is valid UTF-8 and holds at least one non-ASCII character is
//   UTF-8; any other value is Windows-1252 (every byte has a meaning there, so nothing
//   is ever dropped).
// - Writing: a value that Windows-1252 can hold is written in Windows-1252, unless those
//   bytes would themselves read back as UTF-8 (e.g. "Ã¸"); every other value is written
//   as UTF-8. Whatever we write therefore reads back as the same text, and the file stays
//   readable by 8-bit programs for every name that fits their code page.
//
// The only text read differently from what its writer meant is a foreign Windows-1252
// value whose bytes happen to form valid multi-byte UTF-8 (an accented capital directly
// followed by a symbol from 0x80-0xBF), which names practically never contain.
#pragma once

#include "text/Cp1252.h"

#include <string>
#include <string_view>

namespace velkor {

std::string decodeStoredText(std::string_view bytes);
std::string encodeStoredText(std::string_view utf8);
// Line breaks and other control characters cannot live in a key=value line; they
// become blanks.
std::string singleLine(std::string_view text);

} // namespace velkor

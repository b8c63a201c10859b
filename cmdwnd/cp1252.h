#pragma once

#include <string>
#include <string_view>

// Converts Windows-1252 bytes to UTF-8. The five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 control of the same value,
// as Windows' own conversion does, so no byte is ever lost.
std::string cp1252ToUtf8(std::string_view bytes);

#include "addrbook/AddrText.h"

namespace velkor {

std::string decodeStoredText(std::string_view bytes)
{
    if (!hasNonAscii(bytes) || isValidUtf8(bytes))
        return std::string(bytes);
    return cp1252ToUtf8(bytes);
}

std::string encodeStoredText(std::string_view utf8)
{
    if (!hasNonAscii(utf8))
        return std::string(utf8);
    // Not valid UTF-8 (not ours: keep the bytes), or a character the code page lacks.
    const std::optional<std::string> bytes = utf8ToCp1252Exact(utf8);
    if (!bytes || isValidUtf8(*bytes)) // the latter would be read back as UTF-8
        return std::string(utf8);
    return *bytes;
}

std::string singleLine(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) // never part of a multi-byte UTF-8 sequence
            c = ' ';
    }
    return out;
}

} // namespace velkor

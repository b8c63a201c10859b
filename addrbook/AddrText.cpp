#include "addrbook/AddrText.h"

#include "cmdwnd/cp1252.h"

#include <cstdint>
#include <optional>

namespace {
// Decodes one UTF-8 sequence at s[i]; advances i. Returns nullopt for anything not
// strictly valid (overlong forms, surrogates, beyond U+10FFFF, truncation).
std::optional<uint32_t> nextCodePoint(std::string_view s, size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len;
    uint32_t cp;
    uint32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (i + static_cast<size_t>(len) > s.size())
        return std::nullopt;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    i += static_cast<size_t>(len);
    return cp;
}

// Windows-1252 byte for a code point, or -1.
int cp1252Byte(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    // 0x81, 0x8D, 0x8F, 0x90 and 0x9D stand for themselves (see cp1252ToUtf8).
    static constexpr uint32_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] == cp)
            return 0x80 + k;
    return -1;
}

bool hasNonAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

} // namespace

bool isValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size())
        if (!nextCodePoint(bytes, i))
            return false;
    return true;
}

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
    if (!isValidUtf8(utf8)) // not ours; keep the bytes as they are
        return std::string(utf8);
    std::string bytes;
    bytes.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const int b = cp1252Byte(*nextCodePoint(utf8, i));
        if (b < 0)
            return std::string(utf8);
        bytes += static_cast<char>(b);
    }
    if (isValidUtf8(bytes)) // would be read back as UTF-8
        return std::string(utf8);
    return bytes;
}

std::string utf8ToCp1252(std::string_view utf8)
{
    if (!hasNonAscii(utf8) || !isValidUtf8(utf8))
        return std::string(utf8);
    std::string bytes;
    size_t i = 0;
    while (i < utf8.size()) {
        const int b = cp1252Byte(*nextCodePoint(utf8, i));
        bytes += b < 0 ? '?' : static_cast<char>(b);
    }
    return bytes;
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

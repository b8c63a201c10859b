#include "text/Cp1252.h"

#include <cstdint>

namespace velkor {

namespace {
// Code points of 0x80..0x9F; the rest of the page equals Latin-1. 0x81, 0x8D, 0x8F,
// 0x90 and 0x9D stand for themselves.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; advances i. Returns nullopt for anything not
// strictly valid.
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

// The Windows-1252 byte of a code point, or -1.
int cp1252Byte(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (int k = 0; k < 32; ++k)
        if (kHigh[k] == cp)
            return 0x80 + k;
    return -1;
}
} // namespace

std::string cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0)
            appendUtf8(out, kHigh[b - 0x80]);
        else
            appendUtf8(out, b);
    }
    return out;
}

bool hasNonAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

bool isValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size())
        if (!nextCodePoint(bytes, i))
            return false;
    return true;
}

std::optional<std::string> utf8ToCp1252Exact(std::string_view utf8)
{
    std::string bytes;
    bytes.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const std::optional<uint32_t> cp = nextCodePoint(utf8, i);
        const int b = cp ? cp1252Byte(*cp) : -1;
        if (b < 0)
            return std::nullopt;
        bytes += static_cast<char>(b);
    }
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

} // namespace velkor

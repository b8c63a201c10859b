// A log line being built printf-style, in a buffer of fixed capacity: a line that would
// not fit is cut, as the decoders always cut their lines.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <vector>

namespace velkor {

class LineBuilder {
public:
    explicit LineBuilder(size_t capacity)
        : m_text(capacity, '\0')
    {
    }

    // Replaces the line. The line itself may be one of the arguments.
    void format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void vformat(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    void append(const char* text);
    void assign(const char* text);
    void clear() { m_text[0] = '\0'; }

    const char* c_str() const { return m_text.data(); }
    bool empty() const { return m_text[0] == '\0'; }

private:
    std::vector<char> m_text;
    std::vector<char> m_scratch; // formatted into first, then copied
};

} // namespace velkor

#include "decoders/LineBuilder.h"

#include <cstdio>
#include <cstring>

namespace velkor {

void LineBuilder::format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vformat(format, args);
    va_end(args);
}

void LineBuilder::vformat(const char* format, va_list args)
{
    m_scratch.resize(m_text.size());
    std::vsnprintf(m_scratch.data(), m_scratch.size(), format, args);
    m_text.swap(m_scratch);
}

void LineBuilder::append(const char* text)
{
    const size_t used = std::strlen(m_text.data());
    std::snprintf(m_text.data() + used, m_text.size() - used, "%s", text);
}

void LineBuilder::assign(const char* text)
{
    std::snprintf(m_text.data(), m_text.size(), "%s", text);
}

} // namespace velkor

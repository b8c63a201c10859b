#include "notify/Notices.h"

#include <cstdio>

namespace velkor {

void StderrNotices::alert(const std::string& text)
{
    std::fprintf(stderr, "%s%s\n", m_prefix.c_str(), text.c_str());
}

void StderrNotices::note(const std::string& line)
{
    std::fprintf(stderr, "%s%s\n", m_prefix.c_str(), line.c_str());
}

Notices& stderrNotices()
{
    static StderrNotices notices;
    return notices;
}

} // namespace velkor

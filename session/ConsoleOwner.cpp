#include "session/ConsoleOwner.h"

#include "text/Cp1252.h"

#include <cerrno>

namespace velkor {

int ConsoleLogList::append(const LogText& line)
{
    const std::string text = cp1252ToUtf8(line);
    errno = 0;
    if (std::fprintf(m_out, "%s\n", text.c_str()) < 0 || std::fflush(m_out) != 0) {
        const bool readerGone = errno == EPIPE;
        if (m_outputLost) {
            m_outputLost();
            m_outputLost = nullptr;
        }
        // A reader that has gone (velkor-track | head) is the normal end of a run, not
        // a fault: the line is dropped without a word.
        return readerGone ? m_count : -1;
    }
    if (m_lineListener)
        m_lineListener(text);
    return m_count++;
}

ConsoleOwner::ConsoleOwner(std::FILE* out, const velkor_settings_s& settings, velkor::Notices& notices)
    : m_settings(settings)
    , m_log(out)
    , m_bookNotices(notices, m_log)
    , m_book(m_bookNotices)
    , m_notices(notices)
{
}

} // namespace velkor

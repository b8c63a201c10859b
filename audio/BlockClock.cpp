#include "audio/BlockClock.h"

namespace velkor {

CaptureTime BlockClock::stamp(CaptureTime measured, size_t samples)
{
    CaptureTime at = measured;
    if (m_next) {
        const auto off = measured - *m_next;
        if (off < kResync && off > -kResync)
            at = *m_next + off / kPull;
    }
    m_next = at +
        std::chrono::duration_cast<CaptureTime::duration>(
                 std::chrono::duration<double>(static_cast<double>(samples) / m_rate));
    return at;
}

} // namespace velkor

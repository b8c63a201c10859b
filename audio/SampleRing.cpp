#include "audio/SampleRing.h"

#include <algorithm>
#include <bit>

namespace velkor {

SampleRing::SampleRing(size_t capacity)
    : m_buffer(std::bit_ceil(std::max<size_t>(capacity, 2)))
    , m_mask(m_buffer.size() - 1)
{
}

size_t SampleRing::write(const int16_t* samples, size_t count)
{
    const uint64_t head = m_head.load(std::memory_order_relaxed);
    const uint64_t tail = m_tail.load(std::memory_order_acquire);
    const size_t space = m_buffer.size() - static_cast<size_t>(head - tail);
    const size_t n = std::min(count, space);
    const size_t at = static_cast<size_t>(head) & m_mask;
    const size_t first = std::min(n, m_buffer.size() - at);
    std::copy_n(samples, first, m_buffer.begin() + static_cast<std::ptrdiff_t>(at));
    std::copy_n(samples + first, n - first, m_buffer.begin());
    m_head.store(head + n, std::memory_order_release);
    if (n < count)
        m_dropped.fetch_add(count - n, std::memory_order_relaxed);
    return n;
}

bool SampleRing::read(int16_t* samples, size_t count)
{
    const uint64_t tail = m_tail.load(std::memory_order_relaxed);
    const uint64_t head = m_head.load(std::memory_order_acquire);
    if (head - tail < count)
        return false;
    const size_t at = static_cast<size_t>(tail) & m_mask;
    const size_t first = std::min(count, m_buffer.size() - at);
    std::copy_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(at), first, samples);
    std::copy_n(m_buffer.begin(), count - first, samples + first);
    m_tail.store(tail + count, std::memory_order_release);
    return true;
}

size_t SampleRing::available() const
{
    return static_cast<size_t>(m_head.load(std::memory_order_acquire) - m_tail.load(std::memory_order_acquire));
}

} // namespace velkor

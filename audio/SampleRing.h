// A bounded single-producer, single-consumer ring of samples between a real-time
// audio callback (producer) and the decoding thread (consumer). Neither side locks or
// allocates; when the ring is full the producer drops what does not fit and counts it,
// so that lost audio is always known.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkor {

class SampleRing {
public:
    // Holds at least capacity samples (rounded up to a power of two).
    explicit SampleRing(size_t capacity);

    // Producer side. Returns how many samples fit; the rest are counted as dropped.
    size_t write(const int16_t* samples, size_t count);
    // Consumer side. Copies count samples out when that many are there; else false.
    bool read(int16_t* samples, size_t count);

    size_t available() const;
    size_t capacity() const { return m_buffer.size(); }
    // Samples dropped since the ring was made (consumer side may read it any time).
    uint64_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    std::vector<int16_t> m_buffer;
    size_t m_mask;
    // Free-running counters; their difference is the fill. Apart on separate cache
    // lines so that the two threads do not fight over one.
    alignas(64) std::atomic<uint64_t> m_head{0}; // written by the producer
    alignas(64) std::atomic<uint64_t> m_tail{0}; // written by the consumer
    alignas(64) std::atomic<uint64_t> m_dropped{0};
};

} // namespace velkor

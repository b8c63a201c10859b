#include "audio/PacedSource.h"

#include <chrono>
#include <thread>

namespace velkor {

velkor::Status PacedSource::open(unsigned sampleRate, size_t blockSamples)
{
    m_sampleRate = sampleRate;
    return m_inner->open(sampleRate, blockSamples);
}

velkor::Status PacedSource::start(Handlers handlers)
{
    m_stopping = false;
    auto block = std::move(handlers.block);
    auto played = std::make_shared<uint64_t>(0);
    const auto begin = std::chrono::steady_clock::now();
    handlers.block = [this, block, played, begin](const int16_t* samples, size_t bytes, CaptureTime captured) {
        if (block)
            block(samples, bytes, captured);
        *played += bytes / 2;
        // Paced against the start, so that the time spent decoding is not added up.
        const auto due = begin + std::chrono::microseconds(*played * 1000000 / (m_sampleRate ? m_sampleRate : 1));
        while (!m_stopping) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= due)
                break;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(due - now, std::chrono::milliseconds(20)));
        }
    };
    return m_inner->start(std::move(handlers));
}

void PacedSource::stop()
{
    m_stopping = true;
    m_inner->stop();
}

void PacedSource::close()
{
    m_stopping = true;
    if (m_inner)
        m_inner->close();
}

} // namespace velkor

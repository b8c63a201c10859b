// A recording played at its own pace: wraps another source and holds each block back
// until the time it would have taken to capture has passed since the start. Live
// audio comes that way, so the one-second call timer and the five-second squelch
// query see calls as long as they were on the air.
#pragma once

#include "audio/AudioSource.h"

#include <atomic>
#include <memory>

namespace velkor {

class PacedSource : public AudioSource {
public:
    explicit PacedSource(std::unique_ptr<AudioSource> inner)
        : m_inner(std::move(inner))
    {
    }
    ~PacedSource() override { close(); }

    velkor::Status open(unsigned sampleRate, size_t blockSamples) override;
    velkor::Status start(Handlers handlers) override;
    // Also cuts short a block that is being held back.
    void stop() override;
    void close() override;
    std::string name() const override { return m_inner->name(); }

private:
    std::unique_ptr<AudioSource> m_inner;
    unsigned m_sampleRate = 0;
    std::atomic<bool> m_stopping{false};
};

} // namespace velkor

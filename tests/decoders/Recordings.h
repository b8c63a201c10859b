// Recordings nobody on this project made: off-air captures and audio from an
// independent encoder. They live beside the repository in shared/recordings.
#pragma once

#include "protocol/commands.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsignal {

// The folder of the recordings; empty when it cannot be found.
std::string recordingsDir();

struct Recording {
    int rate = 0;
    std::vector<int16_t> pcm;
};
Recording loadRecording(const std::string& relativePath);

// Feeds pcm, after `skip` samples, in blocks of rate/20 to every decoder in turn.
template <typename... Decoders>
void feedBlocks(const std::vector<int16_t>& pcm, int rate, size_t skip, Decoders&... decoders)
{
    const size_t block = static_cast<size_t>(rate / 20);
    for (size_t i = skip; i < pcm.size(); i += block) {
        const auto n = static_cast<unsigned>(std::min(block, pcm.size() - i));
        (decoders.ProcessSamples(&pcm[i], n), ...);
    }
}

} // namespace testsignal

#define VELKOR_REQUIRE_RECORDINGS()                                                                    \
    do {                                                                                               \
        if (testsignal::recordingsDir().empty())                                                       \
            GTEST_SKIP() << "shared/recordings not found beside the repository (set VELKOR_RECORDINGS)"; \
    } while (0)

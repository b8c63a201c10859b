// Recordings nobody on this project made: off-air captures and audio from an
// independent encoder. They live beside the repository in shared/recordings.
#pragma once

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

} // namespace testsignal

#define VELKOR_REQUIRE_RECORDINGS()                                                                                    \
    do {                                                                                                               \
        if (testsignal::recordingsDir().empty())                                                                       \
            GTEST_SKIP() << "shared/recordings not found beside the repository (set VELKOR_RECORDINGS)";               \
    } while (0)

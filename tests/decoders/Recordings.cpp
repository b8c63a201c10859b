#include "decoders/Recordings.h"

#include "audio/SoundFileReader.h"

#include <cstdlib>
#include <filesystem>

using namespace velkor;

namespace testsignal {

std::string recordingsDir()
{
    if (const char* dir = std::getenv("VELKOR_RECORDINGS"))
        return dir;
    const char* source = std::getenv("VELKOR_SOURCE_DIR");
    const std::filesystem::path candidate =
        std::filesystem::path(source ? source : ".") / ".." / "shared" / "recordings";
    return std::filesystem::is_directory(candidate) ? candidate.string() : std::string();
}

Recording loadRecording(const std::string& relativePath)
{
    SoundFileReader reader(recordingsDir() + "/" + relativePath, std::nullopt);
    Recording r;
    r.rate = reader.sampleRate();
    int16_t buffer[4096];
    while (const size_t n = reader.read(buffer, 4096).value())
        r.pcm.insert(r.pcm.end(), buffer, buffer + n);
    return r;
}

} // namespace testsignal

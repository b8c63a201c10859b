// Reads mono audio from a file or standard input as signed 16-bit samples.
// libsndfile does the container work: WAV (also WAVE_FORMAT_EXTENSIBLE), FLAC, OGG and
// the rest it knows, converting other sample formats to 16 bits; raw input is signed
// 16-bit little-endian at a rate the caller names. Of a file with several channels one
// channel is read, and only when the caller names it: a silent mix of two receivers'
// audio would decode neither.
#pragma once

#include "notify/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

typedef struct sf_private_tag SNDFILE;
typedef struct SF_INFO SF_INFO;

namespace velkor {

// Thrown by the constructor for an input that cannot be read as audio.
class AudioInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SoundFileReader {
public:
    // path "-" reads standard input. rawRate set: the input is raw PCM at that rate.
    // channel (1-based) picks one channel of a multi-channel file.
    // Throws AudioInputError with a message for the user.
    SoundFileReader(const std::string& path, std::optional<int> rawRate, std::optional<int> channel = std::nullopt);
    // The same from a file's bytes in memory (which must outlive the reader); name is
    // the file's name in messages.
    SoundFileReader(const std::string& name, std::string_view bytes, std::optional<int> rawRate,
                    std::optional<int> channel = std::nullopt);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int sampleRate() const { return m_rate; }

    // Reads up to count samples; returns how many were read, 0 at the end. A failure
    // when the input cannot be read or ends before the length its header promised.
    velkor::Result<size_t> read(int16_t* samples, size_t count);

private:
    struct Memory;
    // Checks what opening found and takes the file's rate, channels and length; throws
    // AudioInputError (closing the file) when it cannot be read as asked. pipe: read
    // from standard input.
    void opened(const SF_INFO& info, std::optional<int> rawRate, std::optional<int> channel, bool pipe);
    bool DataChunkCutShort() const;

    std::string m_name;
    std::unique_ptr<Memory> m_memory;
    SNDFILE* m_file = nullptr;
    int m_rate = 0;
    int m_channels = 1;
    int m_channel = 0;             // 0-based channel that read() returns
    std::vector<int16_t> m_frames; // interleaved frames of a multi-channel file
    int64_t m_expectedFrames = -1; // from the header; -1 when unknown (pipes, raw)
    int64_t m_framesRead = 0;
};

} // namespace velkor

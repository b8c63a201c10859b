// Audio from a file or standard input, delivered in blocks as fast as the decoders
// take them, on a thread of its own. The file is opened by the constructor, so that
// the owner learns its sample rate (and any error in it) before building the bank.
//
// Each block is stamped with the start time plus its position in the input. The start
// time is the owner's (setStartTime), else that of a recording written as it was
// captured: the file's modification time less its length. A pipe or standard input has
// no such time; it is taken as captured while it is read, from the first block on.
#pragma once

#include "audio/AudioSource.h"
#include "audio/SoundFileReader.h"

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace velkor {

class FileSource : public AudioSource {
public:
    // As SoundFileReader: "-" is standard input, rawRate for raw PCM, channel picks one
    // channel of several. Throws AudioInputError.
    FileSource(const std::string& path, std::optional<int> rawRate, std::optional<int> channel = std::nullopt);
    ~FileSource() override;

    unsigned sampleRate() const { return static_cast<unsigned>(m_reader->sampleRate()); }

    // The time of the first sample; unset for a pipe until it is read.
    void setStartTime(CaptureTime start) { m_start = start; }
    std::optional<CaptureTime> startTime() const { return m_start; }

    // A failure when sampleRate differs from the file's.
    velkor::Status open(unsigned sampleRate, size_t blockSamples) override;
    velkor::Status start(Handlers handlers) override;
    // A read already waiting on a pipe finishes first: stop returns once it does.
    void stop() override;
    void close() override;
    std::string name() const override { return m_name; }

private:
    void ReadingThread();

    std::string m_name;
    std::unique_ptr<SoundFileReader> m_reader;
    size_t m_blockSamples = 0;
    Handlers m_handlers;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::optional<CaptureTime> m_start;
};

} // namespace velkor

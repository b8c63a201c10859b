#include "audio/FileSource.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <vector>

namespace velkor {

namespace {

// When a recording began: its modification time (when the last sample was written)
// less its length. Nothing for what is not a regular file: a pipe is read as it comes.
std::optional<CaptureTime> recordingStart(const std::string& path, std::optional<int> rawRate, int rate)
{
    struct stat st { };
    if (path == "-" || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || rate <= 0)
        return std::nullopt;
    const CaptureTime modified = CaptureTime(std::chrono::duration_cast<CaptureTime::duration>(
        std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
    int64_t frames = -1;
    if (rawRate) {
        frames = static_cast<int64_t>(st.st_size) / 2;
    } else {
        // A second look at the header only, for its length: a regular file reads the
        // same twice.
        SF_INFO info{};
        if (SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info)) {
            frames = info.frames;
            sf_close(f);
        }
    }
    // A length the header does not tell (or cannot be right) leaves the file's time.
    if (frames < 0 || frames > int64_t{1} << 40)
        return modified;
    return modified -
        std::chrono::duration_cast<CaptureTime::duration>(
               std::chrono::duration<double>(static_cast<double>(frames) / rate));
}

} // namespace

FileSource::FileSource(const std::string& path, std::optional<int> rawRate, std::optional<int> channel)
    : m_name(path == "-" ? std::string("standard input") : path)
    , m_reader(std::make_unique<SoundFileReader>(path, rawRate, channel))
{
    m_start = recordingStart(path, rawRate, m_reader->sampleRate());
}

FileSource::~FileSource()
{
    close();
}

velkor::Status FileSource::open(unsigned sampleRate, size_t blockSamples)
{
    if (!m_reader)
        return velkor::fail(m_name + ": already closed");
    if (sampleRate != this->sampleRate())
        return velkor::fail(m_name + ": recorded at " + std::to_string(this->sampleRate()) + " Hz, not " +
                            std::to_string(sampleRate) + " Hz");
    if (blockSamples == 0)
        return velkor::fail(m_name + ": invalid block size");
    m_blockSamples = blockSamples;
    return {};
}

velkor::Status FileSource::start(Handlers handlers)
{
    if (!m_reader || m_blockSamples == 0 || m_thread.joinable())
        return {};
    m_handlers = std::move(handlers);
    m_stopping = false;
    m_thread = std::thread([this] { ReadingThread(); });
    return {};
}

void FileSource::ReadingThread()
{
    std::vector<int16_t> block(m_blockSamples);
    std::string error;
    const double rate = m_reader->sampleRate() > 0 ? m_reader->sampleRate() : 1.0;
    uint64_t position = 0;
    std::optional<CaptureTime> start = m_start; // set by the owner before start()
    try {
        while (!m_stopping.load(std::memory_order_acquire)) {
            const velkor::Result<size_t> read = m_reader->read(block.data(), block.size());
            if (!read) {
                error = read.error();
                break;
            }
            const size_t got = *read;
            if (got == 0 || m_stopping.load(std::memory_order_acquire))
                break;
            if (!start)
                start = std::chrono::system_clock::now() -
                    std::chrono::duration_cast<CaptureTime::duration>(std::chrono::duration<double>(got / rate));
            // From the start, not added up block by block, so that no rounding creeps in.
            const CaptureTime at = *start +
                std::chrono::duration_cast<CaptureTime::duration>(
                    std::chrono::duration<double>(static_cast<double>(position) / rate));
            position += got;
            if (m_handlers.block)
                m_handlers.block(block.data(), got * sizeof(int16_t), at);
        }
    } catch (const std::exception& e) {
        error = e.what();
        if (error.empty())
            error = m_name + ": read error";
    }
    if (!m_stopping.load(std::memory_order_acquire) && m_handlers.ended)
        m_handlers.ended(error.empty() ? velkor::Status() : velkor::fail(error));
}

void FileSource::stop()
{
    m_stopping.store(true, std::memory_order_release);
    if (m_thread.joinable())
        m_thread.join();
}

void FileSource::close()
{
    stop();
    m_reader.reset();
}

} // namespace velkor

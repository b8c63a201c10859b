#include "audio/FileSource.h"

#include <vector>

FileSource::FileSource(const std::string& path, std::optional<int> rawRate, std::optional<int> channel)
    : m_name(path == "-" ? std::string("standard input") : path),
      m_reader(std::make_unique<SoundFileReader>(path, rawRate, channel))
{
}

FileSource::~FileSource()
{
    close();
}

void FileSource::open(unsigned sampleRate, size_t blockSamples)
{
    if (!m_reader)
        throw AudioSourceError(m_name + ": already closed");
    if (sampleRate != this->sampleRate())
        throw AudioSourceError(m_name + ": recorded at " + std::to_string(this->sampleRate()) + " Hz, not " +
                               std::to_string(sampleRate) + " Hz");
    if (blockSamples == 0)
        throw AudioSourceError(m_name + ": invalid block size");
    m_blockSamples = blockSamples;
}

void FileSource::start(Handlers handlers)
{
    if (!m_reader || m_blockSamples == 0 || m_thread.joinable())
        return;
    m_handlers = std::move(handlers);
    m_stopping = false;
    m_thread = std::thread([this] { ReadingThread(); });
}

void FileSource::ReadingThread()
{
    std::vector<int16_t> block(m_blockSamples);
    std::string error;
    try {
        while (!m_stopping.load(std::memory_order_acquire)) {
            const size_t got = m_reader->read(block.data(), block.size());
            if (got == 0 || m_stopping.load(std::memory_order_acquire))
                break;
            if (m_handlers.block)
                m_handlers.block(block.data(), got * sizeof(int16_t));
        }
    } catch (const std::exception& e) {
        error = e.what();
        if (error.empty())
            error = m_name + ": read error";
    }
    if (!m_stopping.load(std::memory_order_acquire) && m_handlers.ended)
        m_handlers.ended(error);
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

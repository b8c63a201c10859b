#include "audio/SoundFileReader.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

namespace {

SF_INFO rawInfo(std::optional<int> rawRate)
{
    SF_INFO info{};
    if (rawRate) {
        if (*rawRate <= 0)
            throw AudioInputError("invalid sample rate " + std::to_string(*rawRate));
        info.samplerate = *rawRate;
        info.channels = 1;
        info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    }
    return info;
}

} // namespace

// A file's bytes held in memory, read through libsndfile's virtual I/O.
struct SoundFileReader::Memory {
    std::string_view bytes;
    sf_count_t at = 0;

    static sf_count_t length(void* self) { return static_cast<sf_count_t>(static_cast<Memory*>(self)->bytes.size()); }
    static sf_count_t tell(void* self) { return static_cast<Memory*>(self)->at; }
    static sf_count_t seek(sf_count_t offset, int whence, void* self)
    {
        auto* m = static_cast<Memory*>(self);
        const sf_count_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? length(self) : 0;
        if (offset < -base || offset > length(self) - base)
            return -1;
        m->at = base + offset;
        return m->at;
    }
    static sf_count_t read(void* buffer, sf_count_t count, void* self)
    {
        auto* m = static_cast<Memory*>(self);
        const sf_count_t n = std::min(count, length(self) - m->at);
        if (n <= 0)
            return 0;
        std::memcpy(buffer, m->bytes.data() + m->at, static_cast<size_t>(n));
        m->at += n;
        return n;
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
};

SoundFileReader::SoundFileReader(const std::string& path, std::optional<int> rawRate, std::optional<int> channel)
    : m_name(path == "-" ? std::string("standard input") : path)
{
    SF_INFO info = rawInfo(rawRate);
    if (path == "-") {
        m_file = sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE);
    } else {
        struct stat st { };
        if (stat(path.c_str(), &st) != 0)
            throw AudioInputError(m_name + ": no such file");
        if (S_ISDIR(st.st_mode))
            throw AudioInputError(m_name + ": is a directory, not an audio file");
        m_file = sf_open(path.c_str(), SFM_READ, &info);
    }
    opened(info, rawRate, channel, path == "-");
}

SoundFileReader::SoundFileReader(const std::string& name, std::string_view bytes, std::optional<int> rawRate,
                                 std::optional<int> channel)
    : m_name(name)
    , m_memory(std::make_unique<Memory>())
{
    m_memory->bytes = bytes;
    SF_INFO info = rawInfo(rawRate);
    SF_VIRTUAL_IO io{&Memory::length, &Memory::seek, &Memory::read, &Memory::write, &Memory::tell};
    m_file = sf_open_virtual(&io, SFM_READ, &info, m_memory.get());
    opened(info, rawRate, channel, false);
}

void SoundFileReader::opened(const SF_INFO& info, std::optional<int> rawRate, std::optional<int> channel, bool pipe)
{
    if (!m_file) {
        std::string why = sf_strerror(nullptr);
        if (!rawRate && pipe)
            why += " (for raw PCM give --rate)";
        else if (!rawRate)
            why += " (for raw signed 16-bit PCM give --rate)";
        throw AudioInputError(m_name + ": cannot read audio: " + why);
    }
    if (info.channels < 1 || (info.channels != 1 && !channel) ||
        (channel && (*channel < 1 || *channel > info.channels))) {
        sf_close(m_file);
        m_file = nullptr;
        const std::string count = std::to_string(info.channels);
        if (channel && info.channels == 1)
            throw AudioInputError(m_name + ": has 1 channel; there is no channel " + std::to_string(*channel));
        if (channel)
            throw AudioInputError(m_name + ": has " + count + " channels; --channel N takes N from 1 to " + count);
        throw AudioInputError(m_name + ": has " + count + " channels; pick the one to decode with --channel N (1 to " +
                              count + ")");
    }
    m_channels = info.channels;
    m_channel = channel ? *channel - 1 : 0;
    if (info.samplerate <= 0) {
        sf_close(m_file);
        m_file = nullptr;
        throw AudioInputError(m_name + ": invalid sample rate in header");
    }
    m_rate = info.samplerate;
    if (!rawRate && info.seekable && (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && DataChunkCutShort()) {
        sf_close(m_file);
        m_file = nullptr;
        throw AudioInputError(m_name + ": truncated file (the data is shorter than its header says)");
    }
    // An MPEG stream's header only estimates its length: being shorter than that says
    // nothing about the file being cut off.
    const bool lengthIsExact = (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG;
    m_expectedFrames = info.seekable && lengthIsExact ? info.frames : -1;
}

bool SoundFileReader::DataChunkCutShort() const
{
    // libsndfile trims a data chunk that claims more than the file holds and only says
    // so in its log ("data : 342400 (should be 171178)"). Writers that stream to a pipe
    // put a placeholder length (0 or all ones) there: such a file is not cut off.
    char log[8192] = {};
    sf_command(m_file, SFC_GET_LOG_INFO, log, sizeof log);
    const std::string_view text(log);
    const size_t at = text.find("\ndata : ");
    if (at == std::string_view::npos)
        return false;
    const size_t end = text.find('\n', at + 1);
    const std::string_view entry = text.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
    if (entry.find("should be") == std::string_view::npos)
        return false;
    const unsigned long long declared = std::strtoull(std::string(entry.substr(7)).c_str(), nullptr, 10);
    return declared != 0 && declared < 0x7FFFFFFFull;
}

SoundFileReader::~SoundFileReader()
{
    if (m_file)
        sf_close(m_file);
}

velkor::Result<size_t> SoundFileReader::read(int16_t* samples, size_t count)
{
    sf_count_t got = 0;
    if (m_channels == 1) {
        got = sf_readf_short(m_file, samples, static_cast<sf_count_t>(count));
    } else {
        m_frames.resize(count * static_cast<size_t>(m_channels));
        got = sf_readf_short(m_file, m_frames.data(), static_cast<sf_count_t>(count));
        for (sf_count_t i = 0; i < got; ++i)
            samples[i] = m_frames[static_cast<size_t>(i * m_channels + m_channel)];
    }
    if (got < 0)
        return velkor::fail(m_name + ": read error: " + sf_strerror(m_file));
    m_framesRead += got;
    if (got == 0 && sf_error(m_file) != SF_ERR_NO_ERROR)
        return velkor::fail(m_name + ": read error: " + sf_strerror(m_file));
    if (got == 0 && m_expectedFrames >= 0 && m_framesRead < m_expectedFrames)
        return velkor::fail(m_name + ": truncated file (" + std::to_string(m_framesRead) + " of " +
                            std::to_string(m_expectedFrames) + " samples)");
    return static_cast<size_t>(got);
}

} // namespace velkor

#include "dsp/SoundFileReader.h"

#include <sndfile.h>

#include <sys/stat.h>
#include <unistd.h>

SoundFileReader::SoundFileReader(const std::string& path, std::optional<int> rawRate)
    : m_name(path == "-" ? std::string("standard input") : path)
{
    SF_INFO info{};
    if (rawRate) {
        if (*rawRate <= 0)
            throw AudioInputError("invalid sample rate " + std::to_string(*rawRate));
        info.samplerate = *rawRate;
        info.channels = 1;
        info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    }
    if (path == "-") {
        m_file = sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE);
    } else {
        struct stat st{};
        if (stat(path.c_str(), &st) != 0)
            throw AudioInputError(m_name + ": no such file");
        if (S_ISDIR(st.st_mode))
            throw AudioInputError(m_name + ": is a directory, not an audio file");
        m_file = sf_open(path.c_str(), SFM_READ, &info);
    }
    if (!m_file) {
        std::string why = sf_strerror(nullptr);
        if (!rawRate && path == "-")
            why += " (for raw PCM give --rate)";
        else if (!rawRate)
            why += " (for raw signed 16-bit PCM give --rate)";
        throw AudioInputError(m_name + ": cannot read audio: " + why);
    }
    if (info.channels != 1) {
        sf_close(m_file);
        m_file = nullptr;
        throw AudioInputError(m_name + ": has " + std::to_string(info.channels) +
                              " channels; only mono audio can be decoded");
    }
    if (info.samplerate <= 0) {
        sf_close(m_file);
        m_file = nullptr;
        throw AudioInputError(m_name + ": invalid sample rate in header");
    }
    m_rate = info.samplerate;
    if (!rawRate && info.seekable && (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
        // libsndfile trims a data chunk that claims more than the file holds and only
        // mentions it in its log; a cut-off recording must not pass as a complete one.
        char log[4096];
        sf_command(m_file, SFC_GET_LOG_INFO, log, sizeof log);
        if (std::string_view(log).find("too large") != std::string_view::npos) {
            sf_close(m_file);
            m_file = nullptr;
            throw AudioInputError(m_name + ": truncated file (the data is shorter than its header says)");
        }
    }
    m_expectedFrames = info.seekable ? info.frames : -1;
}

SoundFileReader::~SoundFileReader()
{
    if (m_file)
        sf_close(m_file);
}

size_t SoundFileReader::read(int16_t* samples, size_t count)
{
    const sf_count_t got = sf_read_short(m_file, samples, static_cast<sf_count_t>(count));
    if (got < 0)
        throw AudioInputError(m_name + ": read error: " + sf_strerror(m_file));
    m_framesRead += got;
    if (got == 0 && sf_error(m_file) != SF_ERR_NO_ERROR)
        throw AudioInputError(m_name + ": read error: " + sf_strerror(m_file));
    if (got == 0 && m_expectedFrames >= 0 && m_framesRead < m_expectedFrames)
        throw AudioInputError(m_name + ": truncated file (" + std::to_string(m_framesRead) + " of " +
                              std::to_string(m_expectedFrames) + " samples)");
    return static_cast<size_t>(got);
}

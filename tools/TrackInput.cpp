#include "tools/TrackInput.h"

#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"
#include "dsp/SoundFileReader.h"

#include <chrono>
#include <vector>

TrackInput::TrackInput(std::string path, std::optional<int> rawRate, bool realtime, CmdSink& sink, Ended ended)
    : m_path(std::move(path)), m_rawRate(rawRate), m_realtime(realtime), m_sink(sink), m_ended(std::move(ended))
{
}

void TrackInput::start()
{
    m_stop = false;
    m_thread = std::thread([this] { run(); });
}

void TrackInput::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void TrackInput::run()
{
    std::string error;
    try {
        SoundFileReader reader(m_path, m_rawRate);
        const int rate = reader.sampleRate();
        CNMT450 nmt450(&m_sink, rate);
        CMPT1327 mpt1327(&m_sink, rate);
        CMotorola motorola(&m_sink, rate);
        std::vector<int16_t> block(static_cast<size_t>(rate / 20 > 0 ? rate / 20 : 1));
        const auto begin = std::chrono::steady_clock::now();
        int64_t played = 0;
        while (!m_stop) {
            const size_t got = reader.read(block.data(), block.size());
            if (got == 0)
                break;
            nmt450.ProcessSamples(block.data(), static_cast<unsigned>(got));
            mpt1327.ProcessSamples(block.data(), static_cast<unsigned>(got));
            motorola.ProcessSamples(block.data(), static_cast<unsigned>(got));
            played += static_cast<int64_t>(got);
            if (m_realtime) {
                // Paced against the start, so that the time spent decoding is not added.
                const auto due = begin + std::chrono::microseconds(played * 1000000 / rate);
                while (!m_stop && std::chrono::steady_clock::now() < due)
                    std::this_thread::sleep_until(std::min(due, std::chrono::steady_clock::now() +
                                                                    std::chrono::milliseconds(50)));
            }
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (!m_stop && m_ended)
        m_ended(error);
}

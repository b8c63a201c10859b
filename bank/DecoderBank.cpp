#include "bank/DecoderBank.h"

#include "audio/PortAudioSource.h"
#include "dsp/FlushDenormals.h"

#include <cinttypes>
#include <cstdio>
#include <stdexcept>

namespace velkor {

namespace {
unsigned checkedRate(unsigned sampleRate)
{
    // Below this a bit of the Motorola channel would be shorter than two samples and the
    // FSK bit period would round to nothing; far above it the tables only waste memory.
    if (sampleRate < DecoderBank::kMinSampleRate || sampleRate > DecoderBank::kMaxSampleRate)
        throw std::invalid_argument("sample rate " + std::to_string(sampleRate) + " Hz is outside " +
                                    std::to_string(DecoderBank::kMinSampleRate) + " to " +
                                    std::to_string(DecoderBank::kMaxSampleRate) + " Hz");
    return sampleRate;
}
} // namespace

DecoderBank::DecoderBank(CmdSink* cmdWnd, unsigned sampleRate, std::unique_ptr<AudioSource> source, SourceEvents events,
                         velkor::Deemphasis deemphasis, MotorolaPlans motorolaPlans)
    : m_cmdWnd(cmdWnd)
    , m_sampleRate(checkedRate(sampleRate))
    , m_nmt450(sinkFor(m_nmt450Sink), static_cast<int>(sampleRate))
    , m_mpt1327(sinkFor(m_mpt1327Sink), static_cast<int>(sampleRate))
    , m_motorola(sinkFor(m_motorolaSink), static_cast<int>(sampleRate))
    , m_deemphasis(deemphasis)
    , m_events(std::move(events))
{
    m_motorola.SetBandPlans(std::move(motorolaPlans));
    if (!source)
        return;
    // Blocks of a twentieth of a second keep the decoders' work per wake-up small
    // while the latency from a codeword to its event stays under one block.
    const size_t blockSamples = BlockSamples(sampleRate) > 0 ? BlockSamples(sampleRate) : 1;
    if (const velkor::Status opened = source->open(sampleRate, blockSamples); !opened)
        throw AudioSourceError(opened.error());
    m_source = std::move(source);
    AudioSource::Handlers handlers;
    handlers.block = [this](const int16_t* data, size_t bytes, CaptureTime captured) {
        FeedBlock(data, bytes, captured);
    };
    handlers.overflow = [this](uint64_t lost, uint64_t overflows) { Overflow(lost, overflows); };
    handlers.ended = [this](const velkor::Status& end) {
        if (m_events.ended)
            m_events.ended(end);
    };
    velkor::Status started;
    try {
        started = m_source->start(std::move(handlers));
    } catch (...) {
        m_source->close();
        throw;
    }
    if (!started) {
        m_source->close();
        throw AudioSourceError(started.error());
    }
}

DecoderBank::DecoderBank(CmdSink* cmdWnd, unsigned sampleRate)
    : DecoderBank(cmdWnd, sampleRate, std::make_unique<PortAudioSource>())
{
}

DecoderBank::~DecoderBank()
{
    Stop();
    if (m_source)
        m_source->close();
    m_source.reset();
    // The decoders go now, Motorola first and NMT-450 last.
}

void DecoderBank::Stop()
{
    m_stop.store(1, std::memory_order_release);
    // Joins the source's thread: a block being decoded is finished, and the device no
    // longer holds any buffer of ours when the source is closed.
    if (m_source)
        m_source->stop();
}

void DecoderBank::SetMotorolaPlans(MotorolaPlans plans)
{
    const std::lock_guard lock(m_plansMutex);
    m_newPlans = std::move(plans);
    m_plansWaiting.store(true, std::memory_order_release);
}

void DecoderBank::FeedBlock(const int16_t* data, size_t bytes)
{
    FeedBlock(data, bytes, std::chrono::system_clock::now());
}

void DecoderBank::FeedBlock(const int16_t* data, size_t bytes, CaptureTime captured)
{
    FeedSamples(data, static_cast<unsigned>(bytes / 2), captured);
}

void DecoderBank::FeedSamples(const int16_t* samples, unsigned count)
{
    FeedSamples(samples, count, std::chrono::system_clock::now());
}

void DecoderBank::FeedSamples(const int16_t* samples, unsigned count, CaptureTime captured)
{
    m_blockTime = captured;
    // The flag is read again before each decoder, so that no decoder is entered once
    // the owner has begun to stop the bank.
    auto stopping = [this] { return m_stop.load(std::memory_order_acquire) != 0; };
    if (stopping())
        return;
    if (CaptureTap* tap = m_tap.load(std::memory_order_acquire))
        tap->captured(samples, count, captured);
    // Each demodulator sets flush-to-zero itself as well; once here saves the switching.
    const velkor::FlushDenormals flush;
    m_motorola.SetDeemphasis(m_deemphasis.load(std::memory_order_relaxed));
    if (m_plansWaiting.exchange(false, std::memory_order_acq_rel)) {
        const std::lock_guard lock(m_plansMutex);
        m_motorola.SetBandPlans(std::move(m_newPlans));
        m_newPlans = {};
    }
    m_nmt450.ProcessSamples(samples, count);
    if (stopping())
        return;
    m_mpt1327.ProcessSamples(samples, count);
    if (stopping())
        return;
    m_motorola.ProcessSamples(samples, count);
}

void DecoderBank::Overflow(uint64_t lostSamples, uint64_t deviceOverflows)
{
    if (m_events.overflow) {
        m_events.overflow(lostSamples, deviceOverflows);
        return;
    }
    if (!m_cmdWnd || m_stop.load(std::memory_order_acquire))
        return;
    char line[160];
    if (lostSamples)
        std::snprintf(line, sizeof line, "Audio input overflow: decoding fell behind, %" PRIu64 " samples lost",
                      lostSamples);
    else
        std::snprintf(line, sizeof line, "Audio input overflow: the capture device dropped audio (%" PRIu64 "x)",
                      deviceOverflows);
    m_cmdWnd->post(CMDWND_ADD_LOGSTR, LogText(line));
}

} // namespace velkor

// The decoder bank: the three protocol decoders side by side on one audio input.
//
// Every block of the source goes to NMT-450, MPT 1327 and Motorola, in that order, on
// the source's thread; a decoder has posted all its events of a block before the next
// one sees the block. The owner (the dialog, on the GUI thread, or velkor-decode)
// creates the bank and deletes it; a new sample rate means a new bank, so that every
// decoder starts afresh.
//
// Each decoder posts through a small sink of its own, which tells the owner's sink
// (through CmdSink::postFrom) the decoder's protocol and the capture time of the block
// being decoded; the decoders themselves know nothing of either.
//
// The stop flag is the only state the owner's thread and the decoding thread share:
// once it is set no decoder is entered again, and stopping returns only when the
// source's thread has left the decoders, so nothing is posted after the bank is gone.
#pragma once

#include "audio/AudioSource.h"
#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"
#include "dsp/Deemphasis.h"
#include "protocol/commands.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace velkor {

// Sees every block of the capture stream on the source's thread, before the decoders
// do (the call recorder). It must not wait for anything.
class CaptureTap {
public:
    virtual ~CaptureTap() = default;
    virtual void captured(const int16_t* samples, unsigned count, CaptureTime time) = 0;
};

class DecoderBank {
public:
    // What the owner hears of its source, on the source's thread.
    struct SourceEvents {
        // The input ended by itself (see AudioSource::Handlers::ended).
        std::function<void(const velkor::Status& end)> ended;
        // Audio was lost before decoding. Without a handler the bank posts a log line,
        // so that a loss is never silent.
        std::function<void(uint64_t lostSamples, uint64_t deviceOverflows)> overflow;
    };

    // Builds the decoders, then opens the source at sampleRate and starts it. source
    // may be null: the owner then feeds blocks itself. Throws AudioSourceError when
    // the source cannot be opened, std::invalid_argument for a rate outside
    // kMinSampleRate..kMaxSampleRate, and what the
    // decoders throw (std::bad_alloc).
    // deemphasis: whether Motorola's slicer equalises de-emphasised audio, from the
    // first block on (SetDeemphasis changes it later).
    // motorolaPlans: the band plans by which Motorola reads the words of the systems
    // that have one, from the first block on (SetMotorolaPlans changes them later).
    DecoderBank(CmdSink* cmdWnd, unsigned sampleRate, std::unique_ptr<AudioSource> source, SourceEvents events = {},
                velkor::Deemphasis deemphasis = velkor::Deemphasis::Auto, MotorolaPlans motorolaPlans = {});
    // The dialog's bank: live capture from the default capture device.
    DecoderBank(CmdSink* cmdWnd, unsigned sampleRate);
    ~DecoderBank();
    DecoderBank(const DecoderBank&) = delete;
    DecoderBank& operator=(const DecoderBank&) = delete;

    static constexpr unsigned kMinSampleRate = 8000;
    static constexpr unsigned kMaxSampleRate = 192000;

    // Bytes in one capture block: a twentieth of a second of 16-bit samples.
    static unsigned BufferBytes(unsigned sampleRate) { return sampleRate / 10; }
    static unsigned BlockSamples(unsigned sampleRate) { return BufferBytes(sampleRate) / 2; }

    // A filled capture block; an odd trailing byte is no sample. Its events carry
    // captured as their time; without it, the time the block is fed.
    void FeedBlock(const int16_t* data, size_t bytes);
    void FeedBlock(const int16_t* data, size_t bytes, CaptureTime captured);
    // Hands the samples to the three decoders, unless the bank is stopping.
    void FeedSamples(const int16_t* samples, unsigned count);
    void FeedSamples(const int16_t* samples, unsigned count, CaptureTime captured);

    // Whether Motorola's slicer equalises de-emphasised audio; from the next block on.
    // Any thread may call it.
    void SetDeemphasis(velkor::Deemphasis mode) { m_deemphasis.store(mode, std::memory_order_relaxed); }

    // Motorola's band plans, handed over to the decoding thread before the next block.
    // Any thread may call it.
    void SetMotorolaPlans(MotorolaPlans plans);
    // From the next block on, each block also goes to tap (null: none). Any thread may
    // call it; the tap must outlive the bank.
    void SetTap(CaptureTap* tap) { m_tap.store(tap, std::memory_order_release); }

    // Sets the stop flag and stops the source. When it returns, no decoder runs and
    // none will run again. Called by the destructor; the owner may call it earlier.
    void Stop();

    unsigned sampleRate() const { return m_sampleRate; }
    const AudioSource* source() const { return m_source.get(); }

private:
    // What one decoder posts, forwarded with its origin. Set up before the decoders
    // and used only on the decoding thread.
    class StampingSink : public CmdSink {
    public:
        StampingSink(CmdSink* owner, EventProtocol protocol, const CaptureTime& blockTime)
            : m_owner(owner)
            , m_protocol(protocol)
            , m_blockTime(blockTime)
        {
        }
        void post(uint32_t code, CmdPayload payload) override
        {
            m_owner->postFrom({m_protocol, m_blockTime}, code, std::move(payload));
        }

    private:
        CmdSink* m_owner;
        EventProtocol m_protocol;
        const CaptureTime& m_blockTime;
    };

    void Overflow(uint64_t lostSamples, uint64_t deviceOverflows);
    // A decoder's own sink; none when the bank has no owner sink, as the decoders
    // check for one.
    CmdSink* sinkFor(StampingSink& sink) { return m_cmdWnd ? &sink : nullptr; }

    // The source is declared first and the decoders after it, as the original kept
    // its device handle ahead of the decoders; the destructor stops and releases the
    // source explicitly before the decoders go (in reverse order of construction).
    std::unique_ptr<AudioSource> m_source;
    CmdSink* m_cmdWnd;
    unsigned m_sampleRate;
    CaptureTime m_blockTime{};
    StampingSink m_nmt450Sink{m_cmdWnd, EventProtocol::Nmt450, m_blockTime};
    StampingSink m_mpt1327Sink{m_cmdWnd, EventProtocol::Mpt1327, m_blockTime};
    StampingSink m_motorolaSink{m_cmdWnd, EventProtocol::Motorola, m_blockTime};
    CNMT450 m_nmt450;
    CMPT1327 m_mpt1327;
    CMotorola m_motorola;
    std::atomic<int> m_stop{0};
    std::atomic<velkor::Deemphasis> m_deemphasis;
    // Plans waiting for the decoding thread to take them.
    std::mutex m_plansMutex;
    MotorolaPlans m_newPlans;
    std::atomic<bool> m_plansWaiting{false};
    std::atomic<CaptureTap*> m_tap{nullptr};
    SourceEvents m_events;
};

} // namespace velkor

// NMT-450 signalling decoder.
//
// A frame is 166 bits: 15 bits of dotting (1010...), the 11-bit frame sync word
// 11100010010 and 140 data bits. The data bits carry a rate-1/2 convolutional code:
// parity bits on the even positions d0..d138, the 64 information bits on the odd
// positions from d13 on (d1..d11 are zero). We keep the last 160 bits, so that a
// complete frame fills the window from the last nine dotting bits to d139, and look
// for the sync pattern (with the zero odd bits behind it) at the newest end. A frame is
// decoded when its sync bits reach the oldest end, or by the flywheel: 128 bits after a
// sync match, and 166 bits after an accepted frame, which bridges a damaged sync word.
#pragma once

#include "decoders/DecoderOutput.h"
#include "decoders/LineBuilder.h"
#include "decoders/NmtFields.h"
#include "decoders/SoftBits.h"
#include "dsp/CFSKDemodulator.h"
#include "protocol/commands.h"

#include <array>

namespace velkor {

class CNMT450 : public CFSKDemodulator {
public:
    // cmdWnd may be null: the channel is then decoded but nothing is posted.
    CNMT450(CmdSink* cmdWnd, int sampleRate, int baudRate = 1200, uint16_t tone1 = 1800, uint16_t tone2 = 1200,
            velkor::Notices& notices = velkor::stderrNotices());

    using CFSKDemodulator::ProcessBit;
    void ProcessBit(bool bit, float reliability) override;

    // Frames accepted so far, for statistics: repeated messages leave no line behind.
    unsigned long acceptedFrames() const { return m_acceptedFrames; }

    // Frames with a higher error count are dropped.
    static constexpr unsigned kMaxErrors = 6;

private:
    bool SyncAtNewest() const;
    bool SyncAtOldest() const;
    unsigned WindowBit(unsigned position) const; // 1 = oldest, 160 = newest
    float Reliability(unsigned position) const;  // of the same bit
    void DecodeFrame();

    // Message interpretation (CNMT450Messages.cpp).
    void InterpretMessage(const nmt450_fields_s& f);
    void CallingChannelIndication(const nmt450_fields_s& f, const char* label);
    void LineSignal(const nmt450_fields_s& f);
    void CallToMobile(const nmt450_fields_s& f);
    void ChannelOrder(const nmt450_fields_s& f);
    void RawFrame(const nmt450_fields_s& f, unsigned prefix);
    void Allocation(const nmt450_fields_s& f);
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ReportSystem(uint32_t fleet, uint32_t unit);
    velkor_call_s Call(velkor_address_s target, velkor_address_s origin, uint16_t channel) const;
    void Post(uint32_t code, CmdPayload payload) { m_out.post(code, std::move(payload)); }

    velkor::DecoderOutput m_out;
    velkor::LineBuilder m_line{256};
    std::array<uint32_t, 5> m_window{};  // D0..D4; the oldest bit is D0's top bit
    velkor::SoftBits<256> m_reliability; // of the window's bits
    uint8_t m_frameCountdown = 0;        // 1: a frame is due now
    uint16_t m_lossCount = 0;            // bits since the last sync match; 0: idle
    uint16_t m_callingChannel = 0;
    uint8_t m_callingTa = 0;
    unsigned long m_acceptedFrames = 0;
};

} // namespace velkor

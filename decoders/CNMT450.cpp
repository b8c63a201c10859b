#include "decoders/CNMT450.h"

#include "decoders/NmtViterbi.h"

namespace velkor {

namespace {
// The last nine dotting bits and the frame sync word.
constexpr uint32_t kSyncBits = 0xAAF12;
// The newest 32 bits at a sync match: the 20 sync bits, then d0..d11 of which the odd
// ones must be zero.
constexpr uint32_t kNewestMask = 0xFFFFF555;
constexpr uint32_t kNewestPattern = kSyncBits << 12;
constexpr uint8_t kDueAfterSync = 129;  // d139 arrives 128 bits after d11
constexpr uint8_t kDueAfterFrame = 167; // one frame length on
constexpr uint16_t kLossBits = 250;
constexpr unsigned kFirstDataBit = 21; // window position of d0
// A frame the byte metric rejects is decoded again with the reliability of each bit:
// it is taken when the bits its best path contradicts add up to no more than
// kSoftLimit (about two and a half clean bits), the path's byte metric is at most
// kSoftMaxErrors, and the frame's bits are on average at least kSoftMeanReliability
// sure (silence and dropped audio give nothing to weigh).
constexpr float kSoftLimit = 2.5f;
constexpr unsigned kSoftMaxErrors = 14;
constexpr float kSoftMeanReliability = 0.4f;
} // namespace

CNMT450::CNMT450(CmdSink* cmdWnd, int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2,
                 velkor::Notices& notices)
    : CFSKDemodulator(sampleRate, baudRate, tone1, tone2)
    , m_out(cmdWnd, notices)
{
}

void CNMT450::ProcessBit(bool bit, float reliability)
{
    m_reliability.push(reliability);
    for (size_t i = 0; i + 1 < m_window.size(); ++i)
        m_window[i] = (m_window[i] << 1) | (m_window[i + 1] >> 31);
    m_window[4] = (m_window[4] << 1) | (bit ? 1u : 0u);

    if (m_frameCountdown != 0)
        --m_frameCountdown;

    if (SyncAtNewest()) {
        if (m_lossCount == 0)
            Post(CMDWND_MUTE, {});
        m_lossCount = 1;
        m_frameCountdown = kDueAfterSync;
    } else if (m_lossCount != 0) {
        const uint16_t before = m_lossCount++;
        if (before > kLossBits) {
            Post(CMDWND_UNMUTE, {});
            m_lossCount = 0;
        }
    }

    if (SyncAtOldest() || m_frameCountdown == 1)
        DecodeFrame();
}

bool CNMT450::SyncAtNewest() const
{
    return (m_window[4] & kNewestMask) == kNewestPattern;
}

bool CNMT450::SyncAtOldest() const
{
    return (m_window[0] >> 12) == kSyncBits;
}

unsigned CNMT450::WindowBit(unsigned position) const
{
    const unsigned index = position - 1;
    return (m_window[index / 32] >> (31 - index % 32)) & 1u;
}

float CNMT450::Reliability(unsigned position) const
{
    return m_reliability.back(160 - position);
}

void CNMT450::DecodeFrame()
{
    std::array<uint8_t, NmtViterbi::kParityBits> q{};
    std::array<uint8_t, NmtViterbi::kInfoBits> p{};
    for (unsigned i = 0; i < q.size(); ++i)
        q[i] = static_cast<uint8_t>(WindowBit(kFirstDataBit + 2 * i));
    for (unsigned i = 0; i < p.size(); ++i)
        p[i] = static_cast<uint8_t>(WindowBit(kFirstDataBit + 2 * i + 13));

    NmtViterbiResult decoded = NmtViterbi::Decode(q, p);
    if (decoded.errors > kMaxErrors) {
        std::array<float, NmtViterbi::kParityBits> qr{};
        std::array<float, NmtViterbi::kInfoBits> pr{};
        for (unsigned i = 0; i < qr.size(); ++i)
            qr[i] = Reliability(kFirstDataBit + 2 * i);
        for (unsigned i = 0; i < pr.size(); ++i)
            pr[i] = Reliability(kFirstDataBit + 2 * i + 13);
        float sum = 0.0f;
        for (float r : qr)
            sum += r;
        for (float r : pr)
            sum += r;
        if (sum < kSoftMeanReliability * static_cast<float>(qr.size() + pr.size()))
            return;
        decoded = NmtViterbi::DecodeSoft(q, p, qr, pr);
        if (decoded.distance > kSoftLimit || decoded.errors > kSoftMaxErrors)
            return;
    }
    m_frameCountdown = kDueAfterFrame;
    ++m_acceptedFrames;
    InterpretMessage(nmt450_fields_s::Cut(decoded.bits, decoded.errors));
}

} // namespace velkor

#include "decoders/CMPT1327.h"

#include <algorithm>
#include <array>
#include <bit>

namespace velkor {

namespace {
constexpr uint16_t kPreambleEnd = 0xAAAA;
constexpr uint16_t kControlSync = 0xC4D7;
constexpr uint16_t kDataSync = 0x3B28;
constexpr uint16_t kOtherControlSync = 0xB433;
constexpr uint16_t kOtherDataSync = 0x4BCC;
constexpr unsigned kPreambleErrors = 2; // wrong preamble bits taken on trust
constexpr uint16_t kGenerator = 0x6815; // x^15 + x^14 + x^13 + x^11 + x^4 + x^2 + 1, without x^15
constexpr uint8_t kArmed = 65;
constexpr uint16_t kLossBits = 192;

// Soft correction of a codeword that failed its check: flips among this many least
// reliable bits, of at most two bits whose reliabilities add up to no more than
// kChaseLimit (a clean bit has about 1), and only when the codeword's bits are on
// average at least kChaseMeanReliability sure (silence gives nothing to weigh).
constexpr unsigned kChaseBits = 16;
constexpr float kChaseLimit = 0.6f;
constexpr float kChaseMeanReliability = 0.4f;

// The check of a codeword is affine in its bits: flipping bit k (0 = the last sent)
// changes it by flip[k], whatever the other bits.
struct FlipTable {
    std::array<uint16_t, 64> flip{};
    FlipTable()
    {
        const uint16_t zero = CMPT1327::CheckCodeword(0);
        for (unsigned k = 0; k < 64; ++k)
            flip[k] = static_cast<uint16_t>(CMPT1327::CheckCodeword(uint64_t{1} << k) ^ zero);
    }
};
const FlipTable kFlips;

std::vector<velkor::SyncPattern> syncPatterns()
{
    std::vector<velkor::SyncPattern> patterns;
    for (uint16_t sync : {kControlSync, kDataSync, kOtherControlSync, kOtherDataSync})
        patterns.push_back({(uint32_t{kPreambleEnd} << 16) | sync, 0xFFFF, kPreambleErrors});
    return patterns;
}
} // namespace

CMPT1327::CMPT1327(CmdSink* cmdWnd, int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2,
                   velkor::Notices& notices)
    : CFSKDemodulator(sampleRate, baudRate, tone1, tone2, syncPatterns())
    , m_out(cmdWnd, notices)
{
}

uint16_t CMPT1327::CheckCodeword(uint64_t codeword)
{
    uint16_t r = 0;
    uint16_t parity = 0;
    for (int i = 1; i <= 64; ++i) {
        const unsigned bit = static_cast<unsigned>(codeword >> (64 - i)) & 1u;
        parity ^= bit;
        if (i == 64)
            break;
        const unsigned d = (i == 63) ? bit ^ 1u : bit;
        const unsigned f = ((r >> 14) & 1u) ^ d;
        r = static_cast<uint16_t>((r << 1) & 0x7FFF);
        if (f)
            r ^= kGenerator;
    }
    return static_cast<uint16_t>(r | (parity << 15));
}

uint64_t CMPT1327::bits(int first, int last) const
{
    const int width = last - first + 1;
    return (m_codeword >> (64 - last)) & ((uint64_t{1} << width) - 1);
}

bool CMPT1327::IsSyncPattern() const
{
    const uint16_t sync = word(3);
    return word(2) == kPreambleEnd &&
        (sync == kControlSync || sync == kDataSync || sync == kOtherControlSync || sync == kOtherDataSync);
}

bool CMPT1327::IsControlSync() const
{
    return word(3) == kControlSync || word(3) == kOtherControlSync;
}

CMPT1327::Sync CMPT1327::SyncInWindow() const
{
    if (IsSyncPattern())
        return Sync::Exact;
    const uint16_t sync = word(3);
    if (sync != kControlSync && sync != kDataSync && sync != kOtherControlSync && sync != kOtherDataSync)
        return Sync::None;
    return std::popcount(static_cast<unsigned>(word(2) ^ kPreambleEnd)) <= static_cast<int>(kPreambleErrors)
        ? Sync::Damaged
        : Sync::None;
}

void CMPT1327::SyncFound(Sync sync)
{
    m_bitCountdown = kArmed;
    m_fromSync = true;
    m_onTrust = sync == Sync::Damaged;
    if (m_onTrust)
        return; // the window cannot be a good system codeword either
    m_out.post(CMDWND_MUTE, {});
    m_lossCount = 1;
    if (CheckCodeword(m_codeword) == 0)
        SystemCodeword();
}

void CMPT1327::ReadAgain()
{
    // After voice the clock has had only the preamble and the sync word to find the
    // bits by, and on real signals it is then often a sample or two off where the eye
    // is a sample wide. The codeword is read again from the recent past a little
    // earlier and later, from the counted decisions as the clock reads them and from
    // the single decisions of the samples, whose eye lies half a bit earlier.
    const double step = samplesPerBit() / 32;
    for (int single = 0; single < 2; ++single) {
        for (int k : {-2, -4, 2, -6, -1, -3, 1, -8, 4, -5, -7, 3, -10, -9}) {
            const double offset = (single ? -samplesPerBit() / 2 : 0.0) + k * step;
            const uint64_t codeword = Past().reread(offset, single != 0);
            if (codeword != 0 && CheckCodeword(codeword) == 0) {
                // The clock follows to where the codeword was found, for the next one.
                m_codeword = codeword;
                m_clockShift = k * step;
                return;
            }
        }
    }
}

bool CMPT1327::CorrectFromSoft()
{
    // The code's distance is 6: no two patterns of at most two flipped bits lead to the
    // same codeword, so a pattern that makes the check good is the only one. It is taken
    // only among the least reliable bits and when those were doubtful, so that noise,
    // whose bits are all doubtful alike, seldom passes.
    std::array<float, 64> reliability{}; // by bit number, 0 = the last sent
    float sum = 0.0f;
    for (unsigned k = 0; k < 64; ++k) {
        reliability[k] = m_reliability.back(k);
        sum += reliability[k];
    }
    if (sum < kChaseMeanReliability * 64)
        return false;
    std::array<uint8_t, 64> order{};
    for (unsigned k = 0; k < 64; ++k)
        order[k] = static_cast<uint8_t>(k);
    std::partial_sort(order.begin(), order.begin() + kChaseBits, order.end(),
                      [&reliability](uint8_t a, uint8_t b) { return reliability[a] < reliability[b]; });
    const uint16_t check = CheckCodeword(m_codeword);
    for (unsigned i = 0; i < kChaseBits; ++i) {
        const unsigned a = order[i];
        if (reliability[a] > kChaseLimit)
            break;
        if (check == kFlips.flip[a]) {
            m_codeword ^= uint64_t{1} << a;
            return true;
        }
        for (unsigned j = 0; j < i; ++j) {
            const unsigned b = order[j];
            if (reliability[a] + reliability[b] <= kChaseLimit && check == (kFlips.flip[a] ^ kFlips.flip[b])) {
                m_codeword ^= (uint64_t{1} << a) | (uint64_t{1} << b);
                return true;
            }
        }
    }
    return false;
}

void CMPT1327::CountLoss()
{
    if (m_lossCount == 0)
        return;
    const uint16_t before = m_lossCount++;
    if (before > kLossBits) {
        m_out.post(CMDWND_UNMUTE, {});
        m_lossCount = 0;
    }
}

bool CMPT1327::ProcessSync(uint64_t window)
{
    if (!m_out.connected() || m_bitCountdown != 0)
        return false;
    const uint64_t before = m_codeword;
    m_codeword = window;
    const Sync sync = SyncInWindow();
    if (sync == Sync::None) {
        m_codeword = before;
        return false;
    }
    SyncFound(sync);
    return true;
}

void CMPT1327::ProcessBit(bool bit, float reliability)
{
    if (!m_out.require("No cmdWnd parameter passed to mpt1327 decoder!"))
        return;
    m_codeword = (m_codeword << 1) | (bit ? 1u : 0u);
    m_reliability.push(reliability);
    if (m_bitCountdown > 0)
        --m_bitCountdown;

    if (m_bitCountdown == 0) {
        const Sync sync = SyncInWindow();
        if (sync != Sync::None) {
            SyncFound(sync);
            return;
        }
        CountLoss();
    } else if (m_onTrust) {
        // Nothing has been heard for sure since the last good codeword.
        CountLoss();
    }

    if (m_bitCountdown == 1) {
        const bool onTrust = m_onTrust;
        m_onTrust = false;
        const bool fromSync = m_fromSync;
        m_fromSync = false;
        if (CheckCodeword(m_codeword) != 0 && fromSync)
            ReadAgain();
        // Only a codeword that follows a good one or a sync pattern gets here: a
        // corrected codeword never starts an alignment.
        if (CheckCodeword(m_codeword) != 0)
            CorrectFromSoft();
        if (CheckCodeword(m_codeword) != 0) {
            m_bitCountdown = 0;
            return;
        }
        if (onTrust)
            m_out.post(CMDWND_MUTE, {});
        m_lossCount = 1;
        if (bits(1, 1) == 0 && IsSyncPattern()) {
            // A repeated system codeword keeps the alignment. It still counts as a
            // system report when its identity is new: if the codeword that started the
            // alignment was damaged, this is the first good one, and without it every
            // call would be reported for system 0 until the signal was lost.
            SystemCodeword();
            m_bitCountdown = kArmed;
            return;
        }
        InterpretCodeword();
        m_bitCountdown = kArmed;
    }
}

} // namespace velkor

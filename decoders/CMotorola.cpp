#include "decoders/CMotorola.h"

#include <algorithm>
#include <bit>
#include <cstdarg>

namespace velkor {

namespace {
constexpr uint8_t kUnmuteAfterBits = 160;

constexpr uint16_t kIdle = 0x2F8;
constexpr uint16_t kSiteAddress = 0xFFFF;
constexpr uint16_t kSiteFirst = 0x360;
constexpr uint16_t kSiteLast = 0x39F;
constexpr uint16_t kSystemId = 0x32B;
constexpr uint16_t kTwoWord = 0x308; // also the analog request of a fixed plan's grant
constexpr uint16_t kDigitalRequest = 0x321;
constexpr uint16_t kSystemAnnouncement = 0x30B;
constexpr uint16_t kAffiliation = 0x310;
constexpr uint16_t kControlChannelIdMask = 0xFF00;
constexpr uint16_t kControlChannelId = 0x1F00;
constexpr uint8_t kInvertedSync = static_cast<uint8_t>(~motorola::kSyncByte);
constexpr uint8_t kFrameBits = 84;
// Frames after a trusted word whose blocks are still looked for on its grid, and how
// many wrong bits their sync bytes may have (noise passes that one time in seven).
constexpr uint16_t kGridFrames = 8;
constexpr int kGridSyncErrors = 2;
// A bit off the grid, the sync byte may have one wrong bit.
constexpr int kSlipSyncErrors = 1;
constexpr uint16_t kFirstChannel = 380;
constexpr uint16_t kLastChannel = 759;

constexpr uint16_t kControlChannelMask = 0xFC00;
constexpr uint16_t kControlChannelBase = 0x2800;

// Radios and talkgroups share one number space in the address book; radios are moved
// out of the way of the groups.
constexpr uint32_t kRadioOffset = 700000;

} // namespace

CMotorola::CMotorola(CmdSink* cmdWnd, int sampleRate, velkor::Notices& notices)
    : CGMSKDemodulator(sampleRate, kBaudRate)
    , m_out(cmdWnd, notices)
{
}

void CMotorola::ProcessBit(bool bit, float reliability)
{
    m_reliability.push(reliability);

    // The data is sent with a 1 as a non-negative excursion of the audio.
    m_before = (m_before << 1) | (m_register[0] >> 31);
    m_register[0] = (m_register[0] << 1) | (m_register[1] >> 31);
    m_register[1] = (m_register[1] << 1) | (m_register[2] >> 31);
    m_register[2] = (m_register[2] << 1) | (bit ? 0u : 1u);

    if (m_muteCountdown != 0 && m_muteCountdown <= kUnmuteAfterBits)
        ++m_muteCountdown;
    // A waiting word came before the quiet bits and may yet be confirmed: the channel
    // is not given up while one waits.
    const bool waiting =
        std::any_of(m_pending.begin(), m_pending.end(), [](const Pending& p) { return p.bitsLeft != 0; });
    if (m_muteCountdown > kUnmuteAfterBits && !waiting) {
        Post(CMDWND_UNMUTE, {});
        m_muteCountdown = 0;
    }

    if (m_sinceTrusted != UINT16_MAX)
        ++m_sinceTrusted;

    const int polarity = SyncPolarity();
    // Words released earlier are confirmed, or not, by this frame's sync byte, or else
    // by its block; they came first and go first.
    bool confirmed = false; // a word of the frame before this one was trusted just now
    for (Pending& p : m_pending) {
        if (p.bitsLeft == 0 || --p.bitsLeft != 0)
            continue;
        motorola_word_s next;
        if (p.polarity == polarity || (SyncErrors(p.polarity) <= kGridSyncErrors && DecodeBits(p.polarity, next))) {
            Accept(p.word, p.polarity, 1);
            confirmed = true;
        }
    }
    // The grid frame near this bit, and how far this bit is from it: a slicer that lost
    // or gained a bit in noise brings the frame a bit early or late.
    const unsigned since = m_sinceTrusted;
    const unsigned frame = (since + 1) / kFrameBits;
    const int offset = static_cast<int>(since) - static_cast<int>(frame * kFrameBits);
    const bool nearGrid = frame >= 1 && frame <= kGridFrames && offset >= -1 && offset <= 1 && frame != m_gridHandled;
    if (nearGrid && offset == 0 && (polarity == 0 || polarity == m_gridPolarity)) {
        // A word trusted here starts a grid of its own, which nothing has handled yet.
        m_gridHandled = static_cast<uint16_t>(frame);
        if (SyncErrors(m_gridPolarity) > kGridSyncErrors || !DecodeFrame(m_gridPolarity, true, confirmed))
            m_gridHandled = 0;
    } else if (polarity != 0) {
        DecodeFrame(polarity, false, false);
    } else if (nearGrid && SyncErrors(m_gridPolarity) <= kSlipSyncErrors) {
        // Off the grid by a bit the block must wait for the frame after it in any case.
        motorola_word_s word;
        if (DecodeBits(m_gridPolarity, word)) {
            Wait(word, m_gridPolarity);
            m_gridHandled = static_cast<uint16_t>(frame);
        }
    }
}

int CMotorola::SyncPolarity() const
{
    const auto sync = static_cast<uint8_t>(m_register[2] >> 12);
    return sync == motorola::kSyncByte ? 1 : sync == kInvertedSync ? 2 : 0;
}

int CMotorola::SyncErrors(int polarity) const
{
    const auto sync = static_cast<uint8_t>(m_register[2] >> 12);
    const auto expected = polarity == 2 ? kInvertedSync : motorola::kSyncByte;
    return std::popcount(static_cast<unsigned>(sync ^ expected));
}

bool CMotorola::DecodeBits(int polarity, motorola_word_s& word) const
{
    MotorolaRegister bits = m_register;
    if (polarity == 2) {
        for (uint32_t& w : bits)
            w = ~w;
    }
    // A block the single-error correction cannot mend is decoded again by the
    // reliabilities of its bits; the checksum and the frame spacing judge it alike.
    return motorola::decodeBlock(bits, word) || motorola::decodeBlockSoft(bits, m_reliability, word);
}

bool CMotorola::DecodeFrame(int polarity, bool onGrid, bool confirmed)
{
    motorola_word_s word;
    if (!DecodeBits(polarity, word))
        return false;
    // A sync byte before the block is no sign of its own on the grid: it is the one
    // after the block of the trusted frame before, and the signal may end with it.
    const auto before = static_cast<uint8_t>(polarity == 2 ? ~m_before : m_before);
    const bool syncAfter = SyncErrors(polarity) == 0;
    if (confirmed || (syncAfter && (before == motorola::kSyncByte || onGrid))) {
        Accept(word, polarity, 0);
        return true;
    }
    Wait(word, polarity);
    return true;
}

void CMotorola::Wait(const motorola_word_s& word, int polarity)
{
    // The oldest waiting word gives way when all places are taken: it is the one least
    // likely still to be confirmed.
    Pending* slot = &m_pending[0];
    for (Pending& p : m_pending) {
        if (p.bitsLeft == 0) {
            slot = &p;
            break;
        }
        if (p.bitsLeft < slot->bitsLeft)
            slot = &p;
    }
    *slot = {word, polarity, kFrameBits};
}

void CMotorola::Accept(const motorola_word_s& word, int polarity, int framesAgo)
{
    m_sinceTrusted = static_cast<uint16_t>(framesAgo * kFrameBits);
    m_gridHandled = 0;
    m_gridPolarity = polarity;
    HandleWord(word);
    Post(CMDWND_MUTE, {});
    m_muteCountdown = 1;
}

void CMotorola::HandleWord(motorola_word_s word)
{
    if (word.command == kIdle)
        return;
    if (word.address == kSiteAddress && word.command >= kSiteFirst && word.command <= kSiteLast) {
        PostLine("SITE | System 0x%.4X Site %u", static_cast<unsigned>(m_system),
                 static_cast<unsigned>(word.command - kSiteFirst));
        return;
    }
    if (word.command == kSystemId && word.flag == 0) {
        SetSystem(word.address);
        return;
    }
    if (IsOwnChannelWord(word))
        return;

    m_history[kOldest] = m_history[kMiddle];
    m_history[kMiddle] = m_history[kNewest];
    m_history[kNewest] = word;
    if (m_historyWords < m_history.size())
        ++m_historyWords;
    if (m_historyWords < 2)
        return; // the middle slot still holds nothing that was received
    // Until three words have come, the oldest slot was never received either: a grant
    // then has no known caller, rather than radio 0.
    ExaminePair(m_historyWords == 3 ? &m_history[kOldest] : nullptr, m_history[kMiddle]);
}

const MotorolaBandPlan* CMotorola::FixedPlan() const
{
    if (m_system == 0)
        return nullptr; // not yet announced
    auto it = m_plans.find(m_system);
    if (it == m_plans.end())
        it = m_plans.find(motorola_plan::kAnySystem);
    return it != m_plans.end() && it->second.kind != MotorolaPlanKind::Obt ? &it->second : nullptr;
}

bool CMotorola::IsChannel(uint16_t command) const
{
    if (const MotorolaBandPlan* plan = FixedPlan())
        return motorola_plan::isChannelCommand(plan->kind, command);
    return command >= kFirstChannel && command <= kLastChannel;
}

bool CMotorola::IsOwnChannelWord(const motorola_word_s& word) const
{
    return word.flag == 0 && (word.address & kControlChannelIdMask) == kControlChannelId && IsChannel(word.command);
}

void CMotorola::ExaminePair(const motorola_word_s* first, const motorola_word_s& second)
{
    // A word that came just before its system's announcement was examined, entered the
    // history by the rules of 380-759; under a fixed plan it may still be the control
    // channel naming itself.
    if (IsOwnChannelWord(second))
        return;
    const bool channel = IsChannel(second.command);
    if (channel && FixedPlan()) {
        // After anything but a request the network repeats a call under way, whose
        // caller it does not name.
        const bool request = first && (first->command == kTwoWord || first->command == kDigitalRequest);
        PostGrant(second, request ? first->address + kRadioOffset : second.address);
        return;
    }
    if (first && first->command == kTwoWord && first->flag == 1 && second.flag == 1) {
        if (second.command == kSystemAnnouncement) {
            SetSystem(first->address);
            if ((second.address & kControlChannelMask) == kControlChannelBase)
                m_controlChannel = static_cast<uint16_t>(second.address - kControlChannelBase);
            PostLine("SYSAN| System 0x%.4X on control channel %u", static_cast<unsigned>(m_system),
                     static_cast<unsigned>(m_controlChannel));
        } else if (second.command == kAffiliation) {
            Post(CMDWND_REPORT_SYSTEM, Unit(first->address + kRadioOffset));
            Post(CMDWND_REPORT_SYSTEM, Unit(second.address));
            PostLine("AFFIL| Radio %u affiliated to group %u", static_cast<unsigned>(first->address),
                     static_cast<unsigned>(second.address));
        }
        return;
    }
    if (!channel)
        return;
    // A grant that follows an ordinary word answers the radio of that word; after
    // another grant (or a channel update) there is no caller to name.
    PostGrant(second, first && first->command < kFirstChannel ? first->address + kRadioOffset : second.address);
}

void CMotorola::PostGrant(const motorola_word_s& channelWord, uint32_t originUnit)
{
    velkor_call_s call;
    call.type = 0;
    call.target = Unit(channelWord.address);
    call.origin = Unit(originUnit);
    call.control_channel = m_controlChannel;
    call.channel = channelWord.command;
    PostLine("VCALL| Call to %u from %u on channel %u", static_cast<unsigned>(call.target.unit),
             static_cast<unsigned>(call.origin.unit), static_cast<unsigned>(call.channel));
    Post(CMDWND_REPORT_CALL, call);
}

void CMotorola::SetSystem(uint16_t system)
{
    if (system == m_system)
        return;
    m_system = system;
    Post(CMDWND_REPORT_SYSTEM, velkor_address_s{system, 0, 0});
}

void CMotorola::PostLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    m_line.vformat(format, args);
    va_end(args);
    m_out.postLine(m_line);
}

} // namespace velkor

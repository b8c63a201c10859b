#include "decoders/CMPT1327.h"

#include "notify/MessageBox.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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
constexpr uint32_t kHighestReportedUnit = 8184;

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

CMPT1327::CMPT1327(CmdSink* cmdWnd, int sampleRate, int baudRate, uint16_t tone1, uint16_t tone2)
    : CFSKDemodulator(sampleRate, baudRate, tone1, tone2, syncPatterns()), m_cmdWnd(cmdWnd)
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
    m_cmdWnd->post(CMDWND_MUTE, {});
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
        reliability[k] = m_reliability[(m_newest - k) & 63u];
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
        m_cmdWnd->post(CMDWND_UNMUTE, {});
        m_lossCount = 0;
    }
}

bool CMPT1327::ProcessSync(uint64_t window)
{
    if (!m_cmdWnd || m_bitCountdown != 0)
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

void CMPT1327::ProcessSoftBit(bool bit, float reliability)
{
    m_nextReliability = reliability;
    ProcessBit(bit);
}

void CMPT1327::ProcessBit(bool bit)
{
    if (!m_cmdWnd) {
        showMessageBox("No cmdWnd parameter passed to mpt1327 decoder!");
        return;
    }
    m_codeword = (m_codeword << 1) | (bit ? 1u : 0u);
    m_newest = static_cast<uint8_t>((m_newest + 1) & 63u);
    m_reliability[m_newest] = m_nextReliability;
    m_nextReliability = 1.0f;
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
            m_cmdWnd->post(CMDWND_MUTE, {});
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
    }
}

void CMPT1327::SystemCodeword()
{
    const auto sys = static_cast<uint16_t>(bits(2, 16));
    if (sys == m_lastSysId || sys == 0)
        return;
    m_lastSysId = sys;
    const bool flag = bits(1, 1) != 0;
    if (flag) {
        m_systemNumber = static_cast<uint16_t>(1000 + ((sys >> 12) & 3));
        m_site = (sys >> 3) & 0x1FF;
    } else {
        m_systemNumber = (sys >> 7) & 0x7F;
        m_site = (sys >> 3) & 0xF;
    }
    if (m_systemNumber == 0)
        m_systemNumber = 128;

    ReportAddress(0, 0);
    if (!flag) {
        if (IsControlSync())
            Format("CCSC | Control Channel System Codeword | SYSId: 0x%4.4x NET: %u SITE: %u LAB: %u", sys,
                   m_systemNumber, m_site, sys & 7u);
        else
            Format("DCSC | Data Channel Systm Codeword     | SYSId: 0x%4.4x NET: %u SITE: %u LAB: %u", sys,
                   m_systemNumber, m_site, sys & 7u);
        PostLine();
    }
}

void CMPT1327::InterpretCodeword()
{
    if (bits(1, 1) == 0) {
        Format("DATA | Unhandled Data Codeword         | %.4x %.4x %.4x %.4x", word(0), word(1), word(2), word(3));
    } else if (bits(22, 22) == 0) {
        GoToChannel();
    } else {
        const auto cat = static_cast<unsigned>(bits(23, 25));
        const auto type = static_cast<unsigned>(bits(26, 27));
        const auto func = static_cast<unsigned>(bits(28, 30));
        if (cat == 0) {
            switch (type) {
            case 0: Aloha(func); break;
            case 1: Acknowledgement(func); break;
            case 2: RequestOrAhoy(func); break;
            default: Miscellaneous(func); break;
            }
        } else if (cat == 1 && type < 2) {
            ShortData(type);
        } else {
            Format("UNKNOWN Codeword  CAT: 0x%1.1x TYPE: 0x%1.1x FUNC: 0x%1.1x", cat, type, func);
        }
    }
    PostLine();
    m_bitCountdown = kArmed;
}

void CMPT1327::GoToChannel()
{
    const auto pfix = static_cast<uint32_t>(bits(2, 8));
    const auto ident1 = static_cast<uint32_t>(bits(9, 21));
    const bool data = bits(23, 23) != 0;
    const auto chan = static_cast<uint32_t>(bits(24, 33));
    const auto ident2 = static_cast<uint32_t>(bits(34, 46));

    velkor_call_s call;
    call.type = data ? 3 : 0;
    call.target = {m_systemNumber, pfix, ident1};
    call.origin = {m_systemNumber, pfix, ident2};
    call.control_channel = m_controlChannel;
    call.channel = chan;
    m_cmdWnd->post(CMDWND_REPORT_CALL, call);

    std::strcpy(m_line, "GTC  | Go To Channel ");
    Append(data ? "Data              | " : "Voice             | ");
    Format("%sCh: %3d (%3d) Org: %4d Tar: %4d ", m_line, static_cast<int>(chan), static_cast<int>(pfix),
           static_cast<int>(ident2), static_cast<int>(ident1));
}

void CMPT1327::Aloha(unsigned func)
{
    static const char* const kLabels[8] = {
        nullptr,
        "ALHS | Messages invited, except RQD    |",
        "ALHD | Messages invited, except RQS    |",
        "ALHE | Emergency requests (RQE) only   |",
        "ALHR | Registration/Emergency request  |",
        "ALHX | Messages invited, except RQR    |",
        "ALHF | Fall-back mode                  |",
        "ALH? | Reserved                        |",
    };
    if (func == 0)
        return;
    Append(kLabels[func]);
    Format("%s (%3d) Id: %4d WT:%d RSVD:%d M:%d N:%d", m_line, static_cast<int>(bits(2, 8)),
           static_cast<int>(bits(9, 21)), static_cast<int>(bits(35, 37)), static_cast<int>(bits(38, 39)),
           static_cast<int>(bits(40, 44)), static_cast<int>(bits(45, 48)));
}

void CMPT1327::Acknowledgement(unsigned func)
{
    static const char* const kLabels[8] = {
        "ACKK | General acknowledgement         |",
        "ACKI | Intermediate ack, more follows  |",
        "ACKQ | Acknowledge, call queued        |",
        "ACKX | Acknowledge, message rejected   |",
        "ACKV | Acknowledge, unit unavailable   |",
        "ACKE | * Acknowledge, emergency call * |",
        "ACKT | Acknowledge, try given address  |",
        "ACKB |Acknowledge, call-back or negat. |",
    };
    const auto pfix = static_cast<uint32_t>(bits(2, 8));
    const auto ident1 = static_cast<uint32_t>(bits(9, 21));
    const auto ident2 = static_cast<uint32_t>(bits(31, 43));
    Append(kLabels[func]);
    ReportAddress(pfix, ident1);
    ReportAddress(pfix, ident2);
    Format("%s (%3d) Org: %4d Tar: %4d", m_line, static_cast<int>(pfix), static_cast<int>(ident2),
           static_cast<int>(ident1));
}

void CMPT1327::RequestOrAhoy(unsigned func)
{
    const auto pfix = static_cast<int>(bits(2, 8));
    const auto ident1 = static_cast<int>(bits(9, 21));
    const auto ident2 = static_cast<int>(bits(31, 43));
    const char* const voiceOrData = bits(44, 44) ? " Voice" : " Data";
    ReportAddress(static_cast<uint32_t>(pfix), static_cast<uint32_t>(ident1));
    ReportAddress(static_cast<uint32_t>(pfix), static_cast<uint32_t>(ident2));

    switch (func) {
    case 0:
        Format("RQS  | Request random access           | (%3d) Org: %4d Tar: %4d", pfix, ident2, ident1);
        Append(voiceOrData);
        PostLine();
        std::strcpy(m_line, "AHY  | Availability check message      | Begin Ack a: ");
        if (bits(45, 45))
            Format("%s(%3d) Org: %4d", m_line, pfix, ident2);
        else
            Format("%s(%3d) Tar: %4d", m_line, pfix, ident1);
        Append(voiceOrData);
        if (bits(47, 47))
            Append(" Emergency");
        break;
    case 1:
        std::strcpy(m_line, "RQ   | REQ dedicated                   |");
        break;
    case 2:
        Format("RQX  | Request call cancel/abort       | (%3d) Org: %4d Tar: %4d", pfix, ident2, ident1);
        PostLine();
        Format("AHYX | Cancel alert/waiting state      | (%3d) Org: %4d Tar: %4d", pfix, ident2, ident1);
        break;
    case 3:
        std::strcpy(m_line, "RQT  |");
        Append(bits(46, 46) ? " Cancel" : "Request");
        Format("%s Request call diversion    | (%3d) Org: %4d Tar: %4d", m_line, pfix, ident2, ident1);
        Append(voiceOrData);
        break;
    case 4:
        Format("RQE  | Request emergency call          | (%3d) Org: %4d Tar: %4d ", pfix, ident2, ident1);
        Append(voiceOrData);
        break;
    case 5:
        Format("RQR  | Request to register             | (%3d) Org: %4d", pfix, ident1);
        PostLine();
        Format("AHYP | Called Unit Presence Monitoring | (%3d) Org: %4d Tar: %4d", pfix, ident2, ident1);
        break;
    case 6: {
        const auto status = static_cast<unsigned>(bits(44, 48));
        Format("RQQ  | Request status transaction      | (%3d) Org: %4d Tar: %4d Status: %2u", pfix, ident2,
               ident1, status);
        PostLine();
        Format("AHYQ | Status message                  | (%3d) Org: %4d Tar: %4d Status: %2u", pfix, ident2,
               ident1, status);
        break;
    }
    default: {
        const auto slots = static_cast<int>(bits(44, 45));
        Format("RQC  | Request to send short data mess | (%3d) Org: %4d Tar: %4d Slots:%d", pfix, ident2, ident1,
               slots);
        PostLine();
        Format("AHYC | Short data invitation message   | (%3d) Org: %4d Tar: %4d Slots:%d", pfix, ident2, ident1,
               slots);
        break;
    }
    }
}

void CMPT1327::Miscellaneous(unsigned func)
{
    const auto chan = static_cast<uint16_t>(bits(31, 40));
    switch (func) {
    case 0:
        Format("MARK | Control channel marker          | (Act. Chan: %3d)", chan);
        m_controlChannel = chan;
        break;
    case 1:
        Format("MAINT| Call maintenance message        | (Act. Chan: %3d)", chan);
        m_controlChannel = chan;
        break;
    case 2: {
        velkor_call_s clear;
        clear.target.system = m_systemNumber;
        clear.control_channel = static_cast<uint32_t>(bits(12, 21));
        clear.channel = static_cast<uint32_t>(bits(2, 11));
        m_cmdWnd->post(CMDWND_CLEAR_CALL, clear);
        Format("CLEAR| Call clear-down                 | Ch: %3d -> CCh: %3d", static_cast<int>(clear.channel),
               static_cast<int>(clear.control_channel));
        break;
    }
    case 3:
        Format("MOVE | Move to specified ControlChannel | -> CCh: %3d", chan);
        break;
    case 4: {
        const auto sysdef = static_cast<unsigned>(bits(2, 6));
        const auto sys = static_cast<unsigned>(bits(7, 21));
        const auto idRed = static_cast<int>(bits(45, 48));
        switch (sysdef) {
        case 0:
            Format("BCAST| Announce Control Channel        | SYSId: 0x%4.4x CCh: %3d", sys, chan);
            break;
        case 1:
            Format("BCAST| Withdraw Control Channel        | SYSId: 0x%4.4x CCh: %3d", sys, chan);
            break;
        case 2:
        case 3:
            break;
        case 4:
            Format("BCAST| Announce Adjacent Site          | SYSId: 0x%4.4x Ch: %3d  Id red: %d", sys, chan, idRed);
            break;
        case 5:
            Format("BCAST| Vote Now advice                 | SYSId: 0x%4.4x Ch: %3d  Id red: %d ", sys, chan, idRed);
            break;
        default:
            Format("BCAST| Reserved                        | SYSId: 0x%4.4x SYSDEF: 0x%2.2x", sys, sysdef);
            break;
        }
        break;
    }
    default:
        Format("MISC | Reserved                        | CAT: 0x%1.1x TYPE: 0x%1.1x FUNC: 0x%1.1x", 0u, 3u, func);
        break;
    }
}

void CMPT1327::ShortData(unsigned type)
{
    const auto pfix = static_cast<uint32_t>(bits(2, 8));
    const auto ident1 = static_cast<uint32_t>(bits(9, 21));
    if (type == 0) {
        ReportAddress(pfix, ident1);
        Format("SAM  | Single address messages          | Tar: (%3d)%4d", static_cast<int>(pfix),
               static_cast<int>(ident1));
        return;
    }
    const auto pfix2 = static_cast<uint32_t>(bits(29, 35));
    const auto ident = static_cast<uint32_t>(bits(36, 48));
    ReportAddress(pfix, ident1);
    ReportAddress(pfix2, ident);
    Format("HEAD | Short data message               | Org:(%3d)%4d Tar:(%3d)%4d  Cwords: %d", static_cast<int>(pfix),
           static_cast<int>(ident), static_cast<int>(pfix2), static_cast<int>(ident1), static_cast<int>(bits(27, 28)));
}

void CMPT1327::PostLine()
{
    if (m_cmdWnd && m_line[0] != '\0')
        m_cmdWnd->post(CMDWND_ADD_LOGSTR, LogText(m_line));
    m_line[0] = '\0';
}

void CMPT1327::ReportAddress(uint32_t fleet, uint32_t unit)
{
    if (static_cast<uint16_t>(unit) > kHighestReportedUnit)
        return;
    m_cmdWnd->post(CMDWND_REPORT_SYSTEM, velkor_address_s{m_systemNumber, fleet, unit});
}

void CMPT1327::Format(const char* format, ...)
{
    // The line may be one of the arguments, so format into a copy first.
    char formatted[sizeof m_line];
    va_list args;
    va_start(args, format);
    std::vsnprintf(formatted, sizeof formatted, format, args);
    va_end(args);
    std::memcpy(m_line, formatted, sizeof m_line);
}

void CMPT1327::Append(const char* text)
{
    const size_t used = std::strlen(m_line);
    std::snprintf(m_line + used, sizeof m_line - used, "%s", text);
}

// The message families of MPT 1327 codewords that passed their check: each becomes a
// fixed-column log line, and the ones about calls and units are reported to the
// command window as well. The framing around them is in CMPT1327.cpp.
#include "decoders/CMPT1327.h"

namespace velkor {

namespace {
// Idents 8185 to 8191 are never reported as units.
constexpr uint32_t kHighestReportedUnit = 8184;
} // namespace

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
            m_line.format("CCSC | Control Channel System Codeword | SYSId: 0x%4.4x NET: %u SITE: %u LAB: %u", sys,
                          m_systemNumber, m_site, sys & 7u);
        else
            m_line.format("DCSC | Data Channel Systm Codeword     | SYSId: 0x%4.4x NET: %u SITE: %u LAB: %u", sys,
                          m_systemNumber, m_site, sys & 7u);
        PostLine();
    }
}

void CMPT1327::InterpretCodeword()
{
    if (bits(1, 1) == 0) {
        m_line.format("DATA | Unhandled Data Codeword         | %.4x %.4x %.4x %.4x", word(0), word(1), word(2),
                      word(3));
    } else if (bits(22, 22) == 0) {
        GoToChannel();
    } else {
        const auto cat = static_cast<unsigned>(bits(23, 25));
        const auto type = static_cast<unsigned>(bits(26, 27));
        const auto func = static_cast<unsigned>(bits(28, 30));
        if (cat == 0) {
            switch (type) {
            case 0:
                Aloha(func);
                break;
            case 1:
                Acknowledgement(func);
                break;
            case 2:
                RequestOrAhoy(func);
                break;
            default:
                Miscellaneous(func);
                break;
            }
        } else if (cat == 1 && type < 2) {
            ShortData(type);
        } else {
            m_line.format("UNKNOWN Codeword  CAT: 0x%1.1x TYPE: 0x%1.1x FUNC: 0x%1.1x", cat, type, func);
        }
    }
    PostLine();
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
    m_out.post(CMDWND_REPORT_CALL, call);

    m_line.assign("GTC  | Go To Channel ");
    m_line.append(data ? "Data              | " : "Voice             | ");
    m_line.format("%sCh: %3d (%3d) Org: %4d Tar: %4d ", m_line.c_str(), static_cast<int>(chan), static_cast<int>(pfix),
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
    m_line.append(kLabels[func]);
    m_line.format("%s (%3d) Id: %4d WT:%d RSVD:%d M:%d N:%d", m_line.c_str(), static_cast<int>(bits(2, 8)),
                  static_cast<int>(bits(9, 21)), static_cast<int>(bits(35, 37)), static_cast<int>(bits(38, 39)),
                  static_cast<int>(bits(40, 44)), static_cast<int>(bits(45, 48)));
}

void CMPT1327::Acknowledgement(unsigned func)
{
    static const char* const kLabels[8] = {
        "ACKK | General acknowledgement         |", "ACKI | Intermediate ack, more follows  |",
        "ACKQ | Acknowledge, call queued        |", "ACKX | Acknowledge, message rejected   |",
        "ACKV | Acknowledge, unit unavailable   |", "ACKE | * Acknowledge, emergency call * |",
        "ACKT | Acknowledge, try given address  |", "ACKB |Acknowledge, call-back or negat. |",
    };
    const auto pfix = static_cast<uint32_t>(bits(2, 8));
    const auto ident1 = static_cast<uint32_t>(bits(9, 21));
    const auto ident2 = static_cast<uint32_t>(bits(31, 43));
    m_line.append(kLabels[func]);
    ReportAddress(pfix, ident1);
    ReportAddress(pfix, ident2);
    m_line.format("%s (%3d) Org: %4d Tar: %4d", m_line.c_str(), static_cast<int>(pfix), static_cast<int>(ident2),
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
        m_line.format("RQS  | Request random access           | (%3d) Org: %4d Tar: %4d", pfix, ident2, ident1);
        m_line.append(voiceOrData);
        PostLine();
        m_line.assign("AHY  | Availability check message      | Begin Ack a: ");
        if (bits(45, 45))
            m_line.format("%s(%3d) Org: %4d", m_line.c_str(), pfix, ident2);
        else
            m_line.format("%s(%3d) Tar: %4d", m_line.c_str(), pfix, ident1);
        m_line.append(voiceOrData);
        if (bits(47, 47))
            m_line.append(" Emergency");
        break;
    case 1:
        m_line.assign("RQ   | REQ dedicated                   |");
        break;
    case 2:
        m_line.format("RQX  | Request call cancel/abort       | (%3d) Org: %4d Tar: %4d", pfix, ident2, ident1);
        PostLine();
        m_line.format("AHYX | Cancel alert/waiting state      | (%3d) Org: %4d Tar: %4d", pfix, ident2, ident1);
        break;
    case 3:
        m_line.assign("RQT  |");
        m_line.append(bits(46, 46) ? " Cancel" : "Request");
        m_line.format("%s Request call diversion    | (%3d) Org: %4d Tar: %4d", m_line.c_str(), pfix, ident2, ident1);
        m_line.append(voiceOrData);
        break;
    case 4:
        m_line.format("RQE  | Request emergency call          | (%3d) Org: %4d Tar: %4d ", pfix, ident2, ident1);
        m_line.append(voiceOrData);
        break;
    case 5:
        m_line.format("RQR  | Request to register             | (%3d) Org: %4d", pfix, ident1);
        PostLine();
        m_line.format("AHYP | Called Unit Presence Monitoring | (%3d) Org: %4d Tar: %4d", pfix, ident2, ident1);
        break;
    case 6: {
        const auto status = static_cast<unsigned>(bits(44, 48));
        m_line.format("RQQ  | Request status transaction      | (%3d) Org: %4d Tar: %4d Status: %2u", pfix, ident2,
                      ident1, status);
        PostLine();
        m_line.format("AHYQ | Status message                  | (%3d) Org: %4d Tar: %4d Status: %2u", pfix, ident2,
                      ident1, status);
        break;
    }
    default: {
        const auto slots = static_cast<int>(bits(44, 45));
        m_line.format("RQC  | Request to send short data mess | (%3d) Org: %4d Tar: %4d Slots:%d", pfix, ident2, ident1,
                      slots);
        PostLine();
        m_line.format("AHYC | Short data invitation message   | (%3d) Org: %4d Tar: %4d Slots:%d", pfix, ident2, ident1,
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
        m_line.format("MARK | Control channel marker          | (Act. Chan: %3d)", chan);
        m_controlChannel = chan;
        break;
    case 1:
        m_line.format("MAINT| Call maintenance message        | (Act. Chan: %3d)", chan);
        m_controlChannel = chan;
        break;
    case 2: {
        velkor_call_s clear;
        clear.target.system = m_systemNumber;
        clear.control_channel = static_cast<uint32_t>(bits(12, 21));
        clear.channel = static_cast<uint32_t>(bits(2, 11));
        m_out.post(CMDWND_CLEAR_CALL, clear);
        m_line.format("CLEAR| Call clear-down                 | Ch: %3d -> CCh: %3d", static_cast<int>(clear.channel),
                      static_cast<int>(clear.control_channel));
        break;
    }
    case 3:
        m_line.format("MOVE | Move to specified ControlChannel | -> CCh: %3d", chan);
        break;
    case 4: {
        const auto sysdef = static_cast<unsigned>(bits(2, 6));
        const auto sys = static_cast<unsigned>(bits(7, 21));
        const auto idRed = static_cast<int>(bits(45, 48));
        switch (sysdef) {
        case 0:
            m_line.format("BCAST| Announce Control Channel        | SYSId: 0x%4.4x CCh: %3d", sys, chan);
            break;
        case 1:
            m_line.format("BCAST| Withdraw Control Channel        | SYSId: 0x%4.4x CCh: %3d", sys, chan);
            break;
        case 2:
        case 3:
            break;
        case 4:
            m_line.format("BCAST| Announce Adjacent Site          | SYSId: 0x%4.4x Ch: %3d  Id red: %d", sys, chan,
                          idRed);
            break;
        case 5:
            m_line.format("BCAST| Vote Now advice                 | SYSId: 0x%4.4x Ch: %3d  Id red: %d ", sys, chan,
                          idRed);
            break;
        default:
            m_line.format("BCAST| Reserved                        | SYSId: 0x%4.4x SYSDEF: 0x%2.2x", sys, sysdef);
            break;
        }
        break;
    }
    default:
        m_line.format("MISC | Reserved                        | CAT: 0x%1.1x TYPE: 0x%1.1x FUNC: 0x%1.1x", 0u, 3u,
                      func);
        break;
    }
}

void CMPT1327::ShortData(unsigned type)
{
    const auto pfix = static_cast<uint32_t>(bits(2, 8));
    const auto ident1 = static_cast<uint32_t>(bits(9, 21));
    if (type == 0) {
        ReportAddress(pfix, ident1);
        m_line.format("SAM  | Single address messages          | Tar: (%3d)%4d", static_cast<int>(pfix),
                      static_cast<int>(ident1));
        return;
    }
    const auto pfix2 = static_cast<uint32_t>(bits(29, 35));
    const auto ident = static_cast<uint32_t>(bits(36, 48));
    ReportAddress(pfix, ident1);
    ReportAddress(pfix2, ident);
    m_line.format("HEAD | Short data message               | Org:(%3d)%4d Tar:(%3d)%4d  Cwords: %d",
                  static_cast<int>(pfix), static_cast<int>(ident), static_cast<int>(pfix2), static_cast<int>(ident1),
                  static_cast<int>(bits(27, 28)));
}

void CMPT1327::ReportAddress(uint32_t fleet, uint32_t unit)
{
    if (static_cast<uint16_t>(unit) > kHighestReportedUnit)
        return;
    m_out.post(CMDWND_REPORT_SYSTEM, velkor_address_s{m_systemNumber, fleet, unit});
}

} // namespace velkor

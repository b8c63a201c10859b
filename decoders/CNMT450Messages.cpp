// What an accepted NMT-450 frame means. The prefix digit selects the message; line
// signals on a traffic channel are told apart by the code in the last three digits.
// Channels in call records are shifted into the numbering of the channel plan
// (c + 20 up to 180, c - 180 above), and every unit belongs to one system, 80000.

#include "decoders/CNMT450.h"

#include <cstdarg>

namespace velkor {

namespace {
constexpr uint32_t kSystem = 80000;

uint32_t mapChannel(unsigned c)
{
    return c <= 180 ? c + 20 : c - 180;
}
} // namespace

void CNMT450::InterpretMessage(const nmt450_fields_s& f)
{
    switch (f.P) {
    case 0:
        break;
    case 3:
        Log("TCIND| Free traffic channel indication | Ch(%3u) TA(%2u)", f.ch, f.TA);
        break;
    case 4:
        CallingChannelIndication(f, "CTIND| Calling/Traffic Ch. indication  |");
        break;
    case 5:
        if (f.Z == 15)
            Log("SIGNS| Signal strength measurmnt order | Ch(%3u) TA(%2u)  Z(%2u)", f.ch, f.TA, f.Z);
        else if (f.lineCode != 0)
            Allocation(f);
        else
            Log("IDREQ| Identity request on traffic ch. | Ch(%3u) TA(%2u)  Z(%2u) X(%06u)", f.ch, f.TA, f.Z, f.X);
        break;
    case 6:
        LineSignal(f);
        break;
    case 8:
        Log("AUTHR| Authentication request          | Ch(%3u) TA(%2u)  H(%.2x%.4x%.1x)", f.ch, f.TA, f.H1, f.O[2],
            f.H3);
        break;
    case 9:
        if (f.N == f.ch)
            Allocation(f);
        else
            RawFrame(f, 9);
        break;
    case 12:
        CallToMobile(f);
        break;
    case 15:
        if (f.Z == 15)
            ChannelOrder(f);
        else
            RawFrame(f, 15);
        break;
    default:
        RawFrame(f, f.P);
        break;
    }
}

void CNMT450::CallingChannelIndication(const nmt450_fields_s& f, const char* label)
{
    // The calling channel is announced in every idle frame; only a change is news.
    if (f.ch == m_callingChannel && f.TA == m_callingTa)
        return;
    ReportSystem(0, 0);
    m_callingChannel = f.ch;
    m_callingTa = f.TA;
    Log("%s Ch(%3u) TA(%2u)", label, f.ch, f.TA);
}

void CNMT450::Allocation(const nmt450_fields_s& f)
{
    Post(CMDWND_REPORT_CALL, Call({kSystem, f.Z, f.X}, {kSystem, f.Z, 0}, f.N));
    Log("ALLCT| Traffic channel allocation      | Ch(%3u) TA(%2u)  Z(%2u) X(%06u) N(%3u)", f.ch, f.TA, f.Z, f.X, f.N);
}

void CNMT450::LineSignal(const nmt450_fields_s& f)
{
    switch (f.lineCode) {
    case 0x333:
    case 0xBBB:
        Log("LINES| Line signal - Ready to dial     | Ch(%3u) TA(%2u)  Z(%2u) X(%06u)", f.ch, f.TA, f.Z, f.X);
        break;
    case 0x666:
        // The mobile has dialled: it is the calling party.
        Post(CMDWND_REPORT_CALL, Call({kSystem, f.Z, 0}, {kSystem, f.Z, f.X}, f.ch));
        Log("LINES| Line signal - Address Complete  | Ch(%3u) TA(%2u)  Z(%2u) X(%06u)", f.ch, f.TA, f.Z, f.X);
        break;
    case 0x999:
        Log("LINES| Line signal - Ringing order     | Ch(%3u) TA(%2u)  Z(%2u) X(%06u)", f.ch, f.TA, f.Z, f.X);
        break;
    case 0xDDD:
    case 0xFFF:
        if (f.O[2] == 0xFFFF) {
            RawFrame(f, 6);
            break;
        }
        Post(CMDWND_CLEAR_CALL, Call({kSystem, f.Z, f.X}, {kSystem, 0, 0}, f.ch));
        Log("LINES| Line signal - Clearing channel  | Ch(%3u) TA(%2u)  Z(%2u) X(%06u) L(%2u)", f.ch, f.TA, f.Z, f.X,
            f.L);
        break;
    default:
        Log("LINES| Line signal                     | Ch(%3u) TA(%2u)  Z(%2u) X(%06u) L(%2u)", f.ch, f.TA, f.Z, f.X,
            f.L);
        break;
    }
}

void CNMT450::CallToMobile(const nmt450_fields_s& f)
{
    if (f.lineCode != 0) {
        RawFrame(f, 12);
        return;
    }
    if (f.Z >= 1 && f.Z <= 13) {
        Log("CALLM| Call to mobile subscriber       | Ch(%3u) TA(%2u)  Z(%2u) X(%06u)", f.ch, f.TA, f.Z, f.X);
        ReportSystem(f.Z, f.X);
    } else if (f.Z == 14) {
        Log("BATTS| Battery saving order            | Ch(%3u) TA(%2u)", f.ch, f.TA);
    } else if (f.Z == 15) {
        Log("UNKWN| Information to/from BS          | Ch(%3u) TA(%2u)", f.ch, f.TA);
    } else if (f.O[2] != 0) {
        RawFrame(f, 12);
    } else {
        CallingChannelIndication(f, "CCIND| Calling channel indication      |");
    }
}

void CNMT450::ChannelOrder(const nmt450_fields_s& f)
{
    const char* order = nullptr;
    bool clears = true;
    switch (f.A) {
    case 0:
        order = "Idle radio channel";
        break;
    case 2:
        order = "General channel reset";
        break;
    case 12:
        order = "Stop sending \xF8-signal";
        break;
    case 13:
        order = "Start sending \xF8-signal";
        clears = false;
        break;
    default:
        Log("CORDR| Channel activation order        | A: %2u", f.A);
        return;
    }
    Log("CORDR| Channel activation order        | %s", order);
    if (clears)
        Post(CMDWND_CLEAR_CALL, Call({kSystem, 0, 0}, {kSystem, 0, 0}, f.ch));
}

void CNMT450::RawFrame(const nmt450_fields_s& f, unsigned prefix)
{
    Log("UNKWN| Ch: %3u Prefix: %2u TA: %2u EC:%2u | %04x %04x %04x %04x", f.ch, prefix, f.TA, f.EC, f.O[0], f.O[1],
        f.O[2], f.O[3]);
}

void CNMT450::ReportSystem(uint32_t fleet, uint32_t unit)
{
    Post(CMDWND_REPORT_SYSTEM, velkor_address_s{kSystem, fleet, unit});
}

velkor_call_s CNMT450::Call(velkor_address_s target, velkor_address_s origin, uint16_t channel) const
{
    velkor_call_s call;
    call.target = target;
    call.origin = origin;
    call.control_channel = mapChannel(m_callingChannel);
    call.channel = mapChannel(channel);
    return call;
}

void CNMT450::Log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    m_line.vformat(format, args);
    va_end(args);
    m_out.postLine(m_line);
}

} // namespace velkor

// Every MPT 1327 message family, sent over the air as audio and decoded: exact lines
// and events, in posting order.
#include "decoders/CMPT1327.h"
#include "signal/Feed.h"
#include "signal/Mpt1327Gen.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace velkor;

using namespace mptgen;

namespace {

constexpr uint16_t kSys = 0x0089; // NET 1, SITE 1, LAB 1
const std::string kCcsc = "ADD_LOGSTR CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1";

// Bits 31-48 of a request or acknowledgement: IDENT2 and the flags in bits 44-48.
uint32_t tail(unsigned ident2, unsigned flags44to48 = 0)
{
    return (ident2 << 5) | flags44to48;
}

std::vector<std::string> decodeOverAir(const std::vector<uint64_t>& codewords, int rate = 48000)
{
    ControlChannel cc(kSys);
    for (uint64_t cw : codewords)
        cc.slot(cw);
    auto audio = testsignal::ffsk(cc.bits, rate);
    testsignal::addNoise(audio, 30.0, 99);
    testsignal::RecordingSink sink;
    CMPT1327 decoder(&sink, rate);
    testsignal::feedCapture(testsignal::toPcm16(audio), rate, 0, decoder);
    return sink.messages();
}

struct Case {
    const char* name;
    std::vector<uint64_t> codewords;
    std::vector<std::string> expected; // after the system report and the CCSC line
};

std::string dataLine(uint64_t cw)
{
    char line[128];
    std::snprintf(line, sizeof line, "ADD_LOGSTR DATA | Unhandled Data Codeword         | %.4x %.4x %.4x %.4x",
                  static_cast<unsigned>(cw >> 48), static_cast<unsigned>(cw >> 32) & 0xFFFF,
                  static_cast<unsigned>(cw >> 16) & 0xFFFF, static_cast<unsigned>(cw) & 0xFFFF);
    return line;
}

uint64_t shortDataHeader()
{
    // LEN 3 overlaps the low bit of TYPE (bit 27) and the top bit of FUNC (bit 28).
    uint64_t cw = message(5, 100, 1, 1, 4, 0);
    cw = setField(cw, 29, 35, 9);
    cw = setField(cw, 36, 48, 300);
    return complete(cw);
}

const uint64_t kDataCodeword = dataCodeword(0x123456789ABCull);

const Case kCases[] = {
    {"go-to-channel voice before any marker",
     {goToChannel(5, 100, 200, 17)},
     {"REPORT_CALL t0 1/5/100 <- 1/5/200 cc0 ch17",
      "ADD_LOGSTR GTC  | Go To Channel Voice             | Ch:  17 (  5) Org:  200 Tar:  100 "}},
    {"repeated go-to-channel is reported each time",
     {goToChannel(1, 10, 20, 5), goToChannel(1, 10, 20, 5)},
     {"REPORT_CALL t0 1/1/10 <- 1/1/20 cc0 ch5",
      "ADD_LOGSTR GTC  | Go To Channel Voice             | Ch:   5 (  1) Org:   20 Tar:   10 ",
      "REPORT_CALL t0 1/1/10 <- 1/1/20 cc0 ch5",
      "ADD_LOGSTR GTC  | Go To Channel Voice             | Ch:   5 (  1) Org:   20 Tar:   10 "}},
    {"go-to-channel data after a marker",
     {misc(0, 3), goToChannel(5, 100, 200, 17, true)},
     {"ADD_LOGSTR MARK | Control channel marker          | (Act. Chan:   3)",
      "REPORT_CALL t3 1/5/100 <- 1/5/200 cc3 ch17",
      "ADD_LOGSTR GTC  | Go To Channel Data              | Ch:  17 (  5) Org:  200 Tar:  100 "}},
    {"aloha function 0 is silent", {message(5, 100, 0, 0, 0, 0x1234)}, {}},
    {"aloha with parameters",
     {message(5, 100, 0, 0, 3, (2u << 11) | (1u << 9) | (5u << 4) | 9u)},
     {"ADD_LOGSTR ALHE | Emergency requests (RQE) only   | (  5) Id:  100 WT:2 RSVD:1 M:5 N:9"}},
    {"aloha labels",
     {message(1, 2, 0, 0, 1), message(1, 2, 0, 0, 2), message(1, 2, 0, 0, 4), message(1, 2, 0, 0, 5),
      message(1, 2, 0, 0, 6), message(1, 2, 0, 0, 7)},
     {"ADD_LOGSTR ALHS | Messages invited, except RQD    | (  1) Id:    2 WT:0 RSVD:0 M:0 N:0",
      "ADD_LOGSTR ALHD | Messages invited, except RQS    | (  1) Id:    2 WT:0 RSVD:0 M:0 N:0",
      "ADD_LOGSTR ALHR | Registration/Emergency request  | (  1) Id:    2 WT:0 RSVD:0 M:0 N:0",
      "ADD_LOGSTR ALHX | Messages invited, except RQR    | (  1) Id:    2 WT:0 RSVD:0 M:0 N:0",
      "ADD_LOGSTR ALHF | Fall-back mode                  | (  1) Id:    2 WT:0 RSVD:0 M:0 N:0",
      "ADD_LOGSTR ALH? | Reserved                        | (  1) Id:    2 WT:0 RSVD:0 M:0 N:0"}},
    {"acknowledgements report both parties first",
     {message(5, 100, 0, 1, 0, tail(200)), message(5, 100, 0, 1, 7, tail(200))},
     {"REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/5/200",
      "ADD_LOGSTR ACKK | General acknowledgement         | (  5) Org:  200 Tar:  100", "REPORT_SYSTEM 1/5/100",
      "REPORT_SYSTEM 1/5/200", "ADD_LOGSTR ACKB |Acknowledge, call-back or negat. | (  5) Org:  200 Tar:  100"}},
    {"acknowledgement labels",
     {message(5, 100, 0, 1, 1, tail(8191)), message(5, 100, 0, 1, 2, tail(8191)), message(5, 100, 0, 1, 3, tail(8191)),
      message(5, 100, 0, 1, 4, tail(8191)), message(5, 100, 0, 1, 5, tail(8191)), message(5, 100, 0, 1, 6, tail(8191))},
     {"REPORT_SYSTEM 1/5/100", "ADD_LOGSTR ACKI | Intermediate ack, more follows  | (  5) Org: 8191 Tar:  100",
      "REPORT_SYSTEM 1/5/100", "ADD_LOGSTR ACKQ | Acknowledge, call queued        | (  5) Org: 8191 Tar:  100",
      "REPORT_SYSTEM 1/5/100", "ADD_LOGSTR ACKX | Acknowledge, message rejected   | (  5) Org: 8191 Tar:  100",
      "REPORT_SYSTEM 1/5/100", "ADD_LOGSTR ACKV | Acknowledge, unit unavailable   | (  5) Org: 8191 Tar:  100",
      "REPORT_SYSTEM 1/5/100", "ADD_LOGSTR ACKE | * Acknowledge, emergency call * | (  5) Org: 8191 Tar:  100",
      "REPORT_SYSTEM 1/5/100", "ADD_LOGSTR ACKT | Acknowledge, try given address  | (  5) Org: 8191 Tar:  100"}},
    {"random access request and its ahoy",
     {message(5, 100, 0, 2, 0, tail(200, 0x10)), message(5, 100, 0, 2, 0, tail(200, 0x0A))},
     {"REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/5/200",
      "ADD_LOGSTR RQS  | Request random access           | (  5) Org:  200 Tar:  100 Voice",
      "ADD_LOGSTR AHY  | Availability check message      | Begin Ack a: (  5) Tar:  100 Voice", "REPORT_SYSTEM 1/5/100",
      "REPORT_SYSTEM 1/5/200", "ADD_LOGSTR RQS  | Request random access           | (  5) Org:  200 Tar:  100 Data",
      "ADD_LOGSTR AHY  | Availability check message      | Begin Ack a: (  5) Org:  200 Data Emergency"}},
    {"dedicated request and cancel",
     {message(5, 100, 0, 2, 1, tail(200)), message(5, 100, 0, 2, 2, tail(200))},
     {"REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/5/200", "ADD_LOGSTR RQ   | REQ dedicated                   |",
      "REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/5/200",
      "ADD_LOGSTR RQX  | Request call cancel/abort       | (  5) Org:  200 Tar:  100",
      "ADD_LOGSTR AHYX | Cancel alert/waiting state      | (  5) Org:  200 Tar:  100"}},
    {"diversion request without and with cancel",
     {message(5, 100, 0, 2, 3, tail(200, 0x10)), message(5, 100, 0, 2, 3, tail(200, 0x04))},
     {"REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/5/200",
      "ADD_LOGSTR RQT  |Request Request call diversion    | (  5) Org:  200 Tar:  100 Voice", "REPORT_SYSTEM 1/5/100",
      "REPORT_SYSTEM 1/5/200", "ADD_LOGSTR RQT  | Cancel Request call diversion    | (  5) Org:  200 Tar:  100 Data"}},
    {"emergency request, registration",
     {message(5, 100, 0, 2, 4, tail(200, 0x10)), message(5, 100, 0, 2, 5, tail(200))},
     {"REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/5/200",
      "ADD_LOGSTR RQE  | Request emergency call          | (  5) Org:  200 Tar:  100  Voice", "REPORT_SYSTEM 1/5/100",
      "REPORT_SYSTEM 1/5/200", "ADD_LOGSTR RQR  | Request to register             | (  5) Org:  100",
      "ADD_LOGSTR AHYP | Called Unit Presence Monitoring | (  5) Org:  200 Tar:  100"}},
    {"status and short data requests",
     {message(5, 100, 0, 2, 6, tail(200, 21)), message(5, 100, 0, 2, 7, tail(200, 0x10))},
     {"REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/5/200",
      "ADD_LOGSTR RQQ  | Request status transaction      | (  5) Org:  200 Tar:  100 Status: 21",
      "ADD_LOGSTR AHYQ | Status message                  | (  5) Org:  200 Tar:  100 Status: 21",
      "REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/5/200",
      "ADD_LOGSTR RQC  | Request to send short data mess | (  5) Org:  200 Tar:  100 Slots:2",
      "ADD_LOGSTR AHYC | Short data invitation message   | (  5) Org:  200 Tar:  100 Slots:2"}},
    {"markers, moves and a clear-down of channel 300",
     {misc(1, 12), misc(3, 7), clearDown(300, 3)},
     {"ADD_LOGSTR MAINT| Call maintenance message        | (Act. Chan:  12)",
      "ADD_LOGSTR MOVE | Move to specified ControlChannel | -> CCh:   7", "CLEAR_CALL t0 1/0/0 <- 0/0/0 cc3 ch300",
      "ADD_LOGSTR CLEAR| Call clear-down                 | Ch: 300 -> CCh:   3"}},
    {"broadcasts by SYSDEF",
     {broadcast(0, 0x1234, 5, 3), broadcast(1, 0x1234, 5, 3), broadcast(2, 0x1234, 5, 3), broadcast(3, 0x1234, 5, 3),
      broadcast(4, 0x1234, 5, 3), broadcast(5, 0x1234, 5, 3), broadcast(6, 0x1234, 5, 3)},
     {"ADD_LOGSTR BCAST| Announce Control Channel        | SYSId: 0x1234 CCh:   5",
      "ADD_LOGSTR BCAST| Withdraw Control Channel        | SYSId: 0x1234 CCh:   5",
      "ADD_LOGSTR BCAST| Announce Adjacent Site          | SYSId: 0x1234 Ch:   5  Id red: 3",
      "ADD_LOGSTR BCAST| Vote Now advice                 | SYSId: 0x1234 Ch:   5  Id red: 3 ",
      "ADD_LOGSTR BCAST| Reserved                        | SYSId: 0x1234 SYSDEF: 0x06"}},
    {"reserved miscellaneous functions",
     {misc(5, 1), misc(7, 1)},
     {"ADD_LOGSTR MISC | Reserved                        | CAT: 0x0 TYPE: 0x3 FUNC: 0x5",
      "ADD_LOGSTR MISC | Reserved                        | CAT: 0x0 TYPE: 0x3 FUNC: 0x7"}},
    {"short data",
     {message(5, 100, 1, 0, 0), shortDataHeader(), kDataCodeword, message(5, 100, 1, 2, 4)},
     {"REPORT_SYSTEM 1/5/100", "ADD_LOGSTR SAM  | Single address messages          | Tar: (  5) 100",
      "REPORT_SYSTEM 1/5/100", "REPORT_SYSTEM 1/9/300",
      "ADD_LOGSTR HEAD | Short data message               | Org:(  5) 300 Tar:(  9) 100  Cwords: 3",
      dataLine(kDataCodeword), "ADD_LOGSTR UNKNOWN Codeword  CAT: 0x1 TYPE: 0x2 FUNC: 0x4"}},
    {"unknown categories",
     {message(5, 100, 5, 1, 6), message(5, 100, 7, 3, 7)},
     {"ADD_LOGSTR UNKNOWN Codeword  CAT: 0x5 TYPE: 0x1 FUNC: 0x6",
      "ADD_LOGSTR UNKNOWN Codeword  CAT: 0x7 TYPE: 0x3 FUNC: 0x7"}},
};

TEST(Mpt1327Messages, EveryFamilyOverTheAir)
{
    for (const Case& c : kCases) {
        std::vector<std::string> expected = {"REPORT_SYSTEM 1/0/0", kCcsc};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(decodeOverAir(c.codewords), expected) << c.name;
    }
}

} // namespace

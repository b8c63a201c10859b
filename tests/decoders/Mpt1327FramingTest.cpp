// Codeword framing fed bit by bit, as the demodulator hands bits over: synchronisation,
// the codeword check, system codewords, the loss timer and the identity reports.
#include "decoders/CMPT1327.h"
#include "fixtures/CollectingNotices.h"
#include "signal/Mpt1327Gen.h"
#include "signal/RecordingSink.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace velkor;

using namespace mptgen;

namespace {

void sendTo(CMPT1327& decoder, uint64_t codeword)
{
    for (int i = 63; i >= 0; --i)
        decoder.ProcessBit((codeword >> i) & 1u);
}

const std::string kCcsc = "ADD_LOGSTR CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1";

class Framing : public ::testing::Test {
protected:
    void send(uint64_t codeword) { sendTo(decoder, codeword); }
    void sendBits(int count, bool value)
    {
        for (int i = 0; i < count; ++i)
            decoder.ProcessBit(value);
    }
    std::vector<std::string> messages() const { return sink.messages(); }

    testsignal::RecordingSink sink;
    CMPT1327 decoder{&sink, 48000};
};

uint64_t corrupt(uint64_t codeword, int bit)
{
    return codeword ^ (uint64_t{1} << (64 - bit));
}

TEST(Mpt1327Check, GoodCodewordsPassAndEverySingleErrorFails)
{
    const uint64_t good[] = {systemCodeword(0x0089), systemCodeword(0x2E1C, false, kDataSync),
                             goToChannel(5, 100, 200, 17), misc(0, 3), dataCodeword(0x7FFFFFFFFFFF)};
    for (uint64_t cw : good) {
        EXPECT_EQ(CMPT1327::CheckCodeword(cw), 0) << std::hex << cw;
        for (int bit = 1; bit <= 64; ++bit)
            EXPECT_NE(CMPT1327::CheckCodeword(corrupt(cw, bit)), 0) << std::hex << cw << " bit " << bit;
    }
}

TEST(Mpt1327Check, LastCheckBitIsSentInverted)
{
    // With bit 63 not inverted the cyclic part fails; flipping 63 and 64 together keeps
    // the parity but not the check.
    const uint64_t cw = misc(0, 3);
    EXPECT_NE(CMPT1327::CheckCodeword(corrupt(corrupt(cw, 63), 64)) & 0x7FFF, 0);
    EXPECT_EQ(CMPT1327::CheckCodeword(cw ^ 0x3) & 0x8000, 0); // two flips: parity holds
}

TEST_F(Framing, BadSystemCodewordMutesAndStillAligns)
{
    send(corrupt(systemCodeword(0x0089), 5));
    send(misc(0, 3));
    EXPECT_EQ(
        sink.described(),
        (std::vector<std::string>{"MUTE", "ADD_LOGSTR MARK | Control channel marker          | (Act. Chan:   3)"}));
}

TEST_F(Framing, NetworkNumbers)
{
    struct {
        uint16_t sys;
        bool flag;
        uint32_t system;
        bool line;
    } const cases[] = {
        {0x0089, false, 1, true},          {0x0007, false, 128, true}, // bits 13-7 all zero
        {0x4000 | 0x0089, false, 1, true},                             // SYS bit 14 enters neither number
        {0x3FF8, true, 1003, false},                                   // flag 1: no line, 1000 + bits 13-12
        {0x1008, true, 1001, false},
    };
    for (const auto& c : cases) {
        testsignal::RecordingSink sink;
        CMPT1327 decoder(&sink, 48000);
        sendTo(decoder, systemCodeword(c.sys, c.flag));
        sendTo(decoder, goToChannel(1, 2, 3, 4));
        const auto events = sink.messages();
        ASSERT_EQ(events.size(), c.line ? 4u : 3u) << std::hex << c.sys;
        EXPECT_EQ(events[0], "REPORT_SYSTEM " + std::to_string(c.system) + "/0/0");
        EXPECT_EQ(events[c.line ? 2 : 1],
                  "REPORT_CALL t0 " + std::to_string(c.system) + "/1/2 <- " + std::to_string(c.system) +
                      "/1/3 cc0 ch4");
    }
}

// Codewords in turn: every event but the mutes, and how many mutes (-1: not counted).
struct CodewordRun {
    const char* name;
    std::vector<uint64_t> codewords;
    std::vector<std::string> expected;
    int mutes;
};

void PrintTo(const CodewordRun& run, std::ostream* os)
{
    *os << run.name;
}

class Mpt1327Codewords : public testing::TestWithParam<CodewordRun> { };

TEST_P(Mpt1327Codewords, GiveTheirEvents)
{
    testsignal::RecordingSink sink;
    CMPT1327 decoder(&sink, 48000);
    for (uint64_t cw : GetParam().codewords)
        sendTo(decoder, cw);
    EXPECT_EQ(sink.messages(), GetParam().expected);
    EXPECT_TRUE(GetParam().mutes < 0 || sink.count(CMDWND_MUTE) == static_cast<size_t>(GetParam().mutes));
}

const uint64_t kLost = corrupt(misc(0, 1), 20); // back to search mode
const std::string kGtc = "ADD_LOGSTR GTC  | Go To Channel Voice             | Ch:   4 (  1) Org:    3 Tar:    2 ";

INSTANTIATE_TEST_SUITE_P(
    Framing, Mpt1327Codewords,
    testing::Values(
        // SYS 0 changes nothing.
        CodewordRun{"SystemIdentityIsReportedOncePerChange",
                    {systemCodeword(0x0089), kLost, systemCodeword(0x0089), kLost, systemCodeword(0x0000), kLost,
                     systemCodeword(0x0101, false, kDataSync)},
                    {"REPORT_SYSTEM 1/0/0", kCcsc, "REPORT_SYSTEM 2/0/0",
                     "ADD_LOGSTR DCSC | Data Channel Systm Codeword     | SYSId: 0x0101 NET: 2 SITE: 0 LAB: 1"},
                    4},
        CodewordRun{"SystemCodewordInTheStreamKeepsAlignmentSilently",
                    {systemCodeword(0x0089), misc(0, 3), systemCodeword(0x0089), misc(0, 4)},
                    {"REPORT_SYSTEM 1/0/0", kCcsc,
                     "ADD_LOGSTR MARK | Control channel marker          | (Act. Chan:   3)",
                     "ADD_LOGSTR MARK | Control channel marker          | (Act. Chan:   4)"},
                    1},
        CodewordRun{"DamagedFirstSystemCodewordIsMadeUpByTheNextGoodOne",
                    {corrupt(systemCodeword(0x0089), 20), goToChannel(1, 2, 3, 4), systemCodeword(0x0089),
                     goToChannel(1, 2, 3, 4), systemCodeword(0x0089)},
                    {"REPORT_CALL t0 0/1/2 <- 0/1/3 cc0 ch4", kGtc, "REPORT_SYSTEM 1/0/0", kCcsc,
                     "REPORT_CALL t0 1/1/2 <- 1/1/3 cc0 ch4", kGtc},
                    1},
        CodewordRun{
            "IdentitiesAbove8184AreNotReported",
            {systemCodeword(0x0089), message(5, 8184, 0, 1, 0, 8185u << 5), message(5, 8191, 0, 1, 0, 8184u << 5)},
            {"REPORT_SYSTEM 1/0/0", kCcsc, "REPORT_SYSTEM 1/5/8184",
             "ADD_LOGSTR ACKK | General acknowledgement         | (  5) Org: 8185 Tar: 8184", "REPORT_SYSTEM 1/5/8184",
             "ADD_LOGSTR ACKK | General acknowledgement         | (  5) Org: 8184 Tar: 8191"},
            -1}),
    [](const testing::TestParamInfo<CodewordRun>& info) { return info.param.name; });

TEST_F(Framing, UnmuteOnThe193rdSearchBitOnce)
{
    send(systemCodeword(0x0089));
    send(misc(0, 3));
    send(corrupt(misc(0, 3), 30)); // the check fails on this codeword's last bit
    sendBits(192, false);
    EXPECT_EQ(sink.count(CMDWND_UNMUTE), 0u);
    sendBits(1, false);
    EXPECT_EQ(sink.count(CMDWND_UNMUTE), 1u);
    sendBits(1000, false);
    EXPECT_EQ(sink.count(CMDWND_UNMUTE), 1u);
}

TEST_F(Framing, SynchronisationRestartsTheLossTimer)
{
    send(systemCodeword(0x0089));
    send(corrupt(misc(0, 3), 30));
    sendBits(100, false);
    send(systemCodeword(0x0089)); // 64 more search bits, then sync
    send(corrupt(misc(0, 3), 30));
    sendBits(192, false);
    EXPECT_EQ(sink.count(CMDWND_UNMUTE), 0u);
    sendBits(1, false);
    EXPECT_EQ(sink.count(CMDWND_UNMUTE), 1u);
    EXPECT_EQ(sink.count(CMDWND_MUTE), 2u);
}

TEST_F(Framing, SilentMessagesPostNoEmptyLine)
{
    send(systemCodeword(0x0089));
    send(message(0x2A, 0x1555, 0, 0, 0)); // Aloha
    send(broadcast(2, 0x89, 1));
    send(broadcast(3, 0x89, 1));
    EXPECT_EQ(sink.count(CMDWND_ADD_LOGSTR), 1u);
    send(misc(0, 9)); // still aligned after the silent ones
    EXPECT_EQ(sink.count(CMDWND_ADD_LOGSTR), 2u);
}

TEST(Mpt1327NoWindow, EveryBitShowsTheMessage)
{
    CollectingNotices notices;
    CMPT1327 decoder(nullptr, 48000, 1200, 1800, 1200, notices);
    decoder.ProcessBit(true);
    decoder.ProcessBit(false);
    EXPECT_EQ(notices.alerts, (std::vector<std::string>(2, "No cmdWnd parameter passed to mpt1327 decoder!")));
}

TEST(Mpt1327Soft, SoftValuesMendUpToTwoDoubtfulBitsOfACodeword)
{
    // The code's distance is 6: two wrong bits are mended when the demodulator doubted
    // them, never when it was sure of them, and three are never taken for another
    // codeword. Bits are numbered as sent, from 1.
    const std::string gtc = "GTC  | Go To Channel Voice             | Ch:  17 (  1) Org: 8000 Tar:  100 ";
    struct Case {
        const char* name;
        std::vector<int> flipped;
        float reliability;
        bool decoded;
    };
    const Case cases[] = {
        {"one doubtful bit", {30}, 0.1f, true},
        {"two doubtful bits", {5, 44}, 0.1f, true},
        {"two doubtful check bits", {50, 64}, 0.25f, true},
        {"two bits it was sure of", {5, 44}, 1.0f, false},
        {"two half-sure bits", {5, 44}, 0.45f, false},
        {"three doubtful bits", {5, 20, 44}, 0.1f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsignal::RecordingSink sink;
        CMPT1327 decoder(&sink, 48000);
        sendTo(decoder, systemCodeword(0x0089));
        const uint64_t message = goToChannel(1, 100, 8000, 17);
        for (int bit = 1; bit <= 64; ++bit) {
            const bool value = ((message >> (64 - bit)) & 1u) != 0;
            const bool wrong = std::find(c.flipped.begin(), c.flipped.end(), bit) != c.flipped.end();
            decoder.ProcessBit(value != wrong, wrong ? c.reliability : 1.0f);
        }
        const auto lines = sink.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), gtc), c.decoded ? 1 : 0);
    }
}

} // namespace

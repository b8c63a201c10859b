// Audio nobody on this project made: an independent base-station encoder and off-air
// captures, decoded by all three decoders in the order the decoder bank runs them.
// The peer recordings must decode completely from any start offset.
#include "decoders/CMPT1327.h"
#include "decoders/CMotorola.h"
#include "decoders/CNMT450.h"
#include "decoders/Recordings.h"
#include "signal/RecordingSink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

using testing::UnorderedElementsAreArray;

namespace {

struct Decoded {
    std::vector<std::string> lines;
    unsigned long nmtFrames = 0;
};

Decoded decodeAll(const testsignal::Recording& rec, size_t skip)
{
    testsignal::RecordingSink sink;
    CNMT450 nmt(&sink, rec.rate);
    CMPT1327 mpt(&sink, rec.rate);
    CMotorola motorola(&sink, rec.rate);
    testsignal::feedBlocks(rec.pcm, rec.rate, skip, nmt, mpt, motorola);
    return {sink.lines(), nmt.acceptedFrames()};
}

const std::string kCcsc = "CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1";

class PeerRecordings : public testing::Test {
protected:
    void SetUp() override { VELKOR_REQUIRE_RECORDINGS(); }
};

TEST_F(PeerRecordings, Mpt1327AtEveryStartOffset)
{
    const auto ahy = testsignal::loadRecording("generated-peer/osmo_mpt1327_cc_ahy_t20-27s.wav");
    const auto ahyx = testsignal::loadRecording("generated-peer/osmo_mpt1327_cc_ahyx_t114-121s.wav");
    const auto idle = testsignal::loadRecording("generated-peer/osmo_mpt1327_cc_idle_20s.wav");
    std::vector<std::string> cancels = {kCcsc};
    for (int i = 0; i < 4; ++i) {
        cancels.push_back("RQX  | Request call cancel/abort       | (  1) Org: 8102 Tar: 1234");
        cancels.push_back("AHYX | Cancel alert/waiting state      | (  1) Org: 8102 Tar: 1234");
    }
    for (size_t offset = 0; offset <= 40; ++offset) {
        EXPECT_EQ(decodeAll(ahy, offset).lines,
                  (std::vector<std::string>{kCcsc, "RQS  | Request random access           | (  1) Org: 8102 Tar: 1234 Data",
                                            "AHY  | Availability check message      | Begin Ack a: (  1) Tar: 1234 Data"}))
            << "offset " << offset;
        EXPECT_EQ(decodeAll(ahyx, offset).lines, cancels) << "offset " << offset;
        EXPECT_EQ(decodeAll(idle, offset).lines, std::vector<std::string>{kCcsc}) << "offset " << offset;
    }
}

TEST_F(PeerRecordings, Nmt450AtEveryStartOffset)
{
    const auto idle = testsignal::loadRecording("generated-peer/osmo_nmt450_cc_idle_20s.wav");
    const auto paging = testsignal::loadRecording("generated-peer/osmo_nmt450_cctc_paging_t17-25s.wav");
    for (size_t offset = 0; offset <= 40; ++offset) {
        // 145 frames were sent; the last is cut off by the end of the recording.
        const auto decoded = decodeAll(idle, offset);
        EXPECT_GE(decoded.nmtFrames, 144u) << "offset " << offset;
        EXPECT_EQ(decoded.lines.size(), decoded.nmtFrames) << "offset " << offset;

        const auto page = decodeAll(paging, offset);
        EXPECT_GE(page.nmtFrames, 57u) << "offset " << offset;
        EXPECT_EQ(page.lines, (std::vector<std::string>{
                                  "CTIND| Calling/Traffic Ch. indication  | Ch(  1) TA(61)",
                                  "CALLM| Call to mobile subscriber       | Ch(  1) TA(61)  Z( 1) X(234567)",
                              }))
            << "offset " << offset;
    }
}

TEST_F(PeerRecordings, RealControlChannelAtItsOwnRate)
{
    // 44100 Hz off air: two MOVE, three AHYQ (each with its request line) and three
    // broadcasts, of which SYSDEF 2 makes no line.
    const auto rec = testsignal::loadRecording("mpt1327-real/gophertrunk_MPT1327_Sound.wav");
    ASSERT_EQ(rec.rate, 44100);
    std::vector<std::string> expected = {
        "CCSC | Control Channel System Codeword | SYSId: 0x5109 NET: 34 SITE: 1 LAB: 1",
        "BCAST| Vote Now advice                 | SYSId: 0x5149 Ch: 219  Id red: 2 ",
        "BCAST| Vote Now advice                 | SYSId: 0x51c9 Ch: 139  Id red: 1 ",
    };
    for (int i = 0; i < 2; ++i)
        expected.push_back("MOVE | Move to specified ControlChannel | -> CCh:  38");
    for (int i = 0; i < 3; ++i) {
        expected.push_back("RQQ  | Request status transaction      | (  0) Org: 8145 Tar: 8142 Status: 31");
        expected.push_back("AHYQ | Status message                  | (  0) Org: 8145 Tar: 8142 Status: 31");
    }
    EXPECT_THAT(decodeAll(rec, 0).lines, UnorderedElementsAreArray(expected));
}

TEST_F(PeerRecordings, RealTrafficChannelsAt11025Hz)
{
    auto count = [](const std::vector<std::string>& lines, const std::string& line) {
        return std::count(lines.begin(), lines.end(), line);
    };
    // Four go-to-channel codewords, each in its own data burst between voice.
    const auto gtc = decodeAll(testsignal::loadRecording("mpt1327-real/gophertrunk_MPT1327_442MHz.wav"), 0).lines;
    EXPECT_EQ(count(gtc, "GTC  | Go To Channel Voice             | Ch:   4 ( 90) Org: 3264 Tar:   96 "), 4);
    EXPECT_EQ(gtc.size(), 4u);
    // Back-to-back sync + codeword pairs: once aligned, the framing checks the 64 bits
    // after a codeword as the next one, which fails on the sync word and passes the next
    // pair by, so every other clear-down is decoded.
    const auto clear = decodeAll(testsignal::loadRecording("mpt1327-real/gophertrunk_MPT1327_end_link.wav"), 0).lines;
    EXPECT_GE(count(clear, "CLEAR| Call clear-down                 | Ch: 288 -> CCh: 264"), 6);
    EXPECT_EQ(count(clear, "CLEAR| Call clear-down                 | Ch: 288 -> CCh: 264"),
              static_cast<long>(clear.size()));
}

TEST_F(PeerRecordings, RealDataBurstsAfterVoice)
{
    // Expected from the listings: each burst is the data-channel sync and one codeword
    // (MAINT or CLEAR); back-to-back bursts are framed every other one. Voice gives no
    // line of any decoder.
    const auto onlyBurstLines = [](const std::vector<std::string>& lines) {
        for (const auto& line : lines)
            if (line.rfind("MAINT| Call maintenance message        | (Act. Chan: ", 0) != 0 &&
                line.rfind("CLEAR| Call clear-down                 | Ch: ", 0) != 0)
                return false;
        return true;
    };
    const auto one = decodeAll(testsignal::loadRecording("mpt1327-real/gophertrunk_MPT1327_423.6_1.wav"), 0).lines;
    EXPECT_GE(one.size(), 100u);
    EXPECT_TRUE(onlyBurstLines(one));
    const auto two = decodeAll(testsignal::loadRecording("mpt1327-real/gophertrunk_MPT1327_423.6_2.wav"), 0).lines;
    EXPECT_GE(two.size(), 30u);
    EXPECT_TRUE(onlyBurstLines(two));
    const std::string maint288 = "MAINT| Call maintenance message        | (Act. Chan: 288)";
    EXPECT_EQ(decodeAll(testsignal::loadRecording("mpt1327-real/gophertrunk_MPT1327_start_transmission_link.wav"), 0).lines,
              (std::vector<std::string>{maint288, maint288}));
    EXPECT_EQ(decodeAll(testsignal::loadRecording("mpt1327-real/gophertrunk_MPT1327_End_individual_trans.wav"), 0).lines,
              std::vector<std::string>{maint288});
}

TEST_F(PeerRecordings, RealSystemWithTheOtherSyncPair)
{
    std::vector<std::string> base = {"CCSC | Control Channel System Codeword | SYSId: 0x2e1c NET: 92 SITE: 3 LAB: 4"};
    for (int i = 0; i < 4; ++i) {
        base.push_back("BCAST| Announce Adjacent Site          | SYSId: 0x2e1c Ch:   9  Id red: 0");
        base.push_back("BCAST| Vote Now advice                 | SYSId: 0x2e1c Ch:   7  Id red: 0 ");
    }
    EXPECT_EQ(decodeAll(testsignal::loadRecording("mpt1327-real/gophertrunk_Base-30sec.wav"), 0).lines, base);
    const auto call = decodeAll(testsignal::loadRecording("mpt1327-real/gophertrunk_Mobile-call.wav"), 0).lines;
    EXPECT_THAT(call, testing::IsSupersetOf({
                          "RQQ  | Request status transaction      | ( 14) Org:   14 Tar: 8190 Status:  1",
                          "AHYQ | Status message                  | ( 14) Org:   14 Tar: 8190 Status:  1",
                          "RQS  | Request random access           | ( 14) Org:   14 Tar:   21 Data",
                          "AHY  | Availability check message      | Begin Ack a: ( 14) Org:   14 Data",
                      }));
    EXPECT_LE(call.size(), 5u); // and at most the acknowledgement after them
}

} // namespace

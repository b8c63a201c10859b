// Audio nobody on this project made: an independent base-station encoder and off-air
// captures, decoded by all three decoders in the order the decoder bank runs them.
// The peer recordings must decode completely from any start offset.
#include "decoders/Recordings.h"
#include "signal/Feed.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

using namespace velkor;

using testing::UnorderedElementsAreArray;

namespace {

struct Decoded {
    std::vector<std::string> lines;
    unsigned long nmtFrames = 0;
};

Decoded decodeAll(const testsignal::Recording& rec, size_t skip = 0)
{
    testsignal::RecordingSink sink;
    const unsigned long frames = testsignal::decodeAsTheBank(sink, rec.pcm, rec.rate, skip);
    return {sink.lines(), frames};
}

std::vector<std::string> decodeFile(const std::string& relativePath)
{
    return decodeAll(testsignal::loadRecording(relativePath)).lines;
}

const std::string kCcsc = "CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1";
const char* const kClear288 = "CLEAR| Call clear-down                 | Ch: 288 -> CCh: 264";
const char* const kMaint288 = "MAINT| Call maintenance message        | (Act. Chan: 288)";

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
        EXPECT_EQ(
            decodeAll(ahy, offset).lines,
            (std::vector<std::string>{kCcsc, "RQS  | Request random access           | (  1) Org: 8102 Tar: 1234 Data",
                                      "AHY  | Availability check message      | Begin Ack a: (  1) Tar: 1234 Data"}))
            << "offset " << offset;
        EXPECT_EQ(decodeAll(ahyx, offset).lines, cancels) << "offset " << offset;
        EXPECT_EQ(decodeAll(idle, offset).lines, std::vector<std::string>{kCcsc}) << "offset " << offset;
    }
}

// The frames of a listing that the recording holds whole (the last may be cut off).
unsigned long wholeFrames(const std::string& listing)
{
    std::ifstream in(testsignal::recordingsDir() + "/" + listing);
    unsigned long whole = 0;
    for (std::string line; std::getline(in, line);)
        if (const auto at = line.find("coded140="); at != std::string::npos && line.size() - at - 9 == 140)
            ++whole;
    return whole;
}

TEST_F(PeerRecordings, Nmt450AtEveryStartOffset)
{
    const auto idle = testsignal::loadRecording("generated-peer/osmo_nmt450_cc_idle_20s.wav");
    const auto paging = testsignal::loadRecording("generated-peer/osmo_nmt450_cctc_paging_t17-25s.wav");
    const unsigned long idleFrames = wholeFrames("generated-peer/osmo_nmt450_cc_idle_20s.frames.txt");
    const unsigned long pagingFrames = wholeFrames("generated-peer/osmo_nmt450_cctc_paging_t17-25s.frames.txt");
    ASSERT_GT(idleFrames, 100u);
    ASSERT_GT(pagingFrames, 40u);
    for (size_t offset = 0; offset <= 40; ++offset) {
        const auto decoded = decodeAll(idle, offset);
        EXPECT_EQ(decoded.nmtFrames, idleFrames) << "offset " << offset;
        EXPECT_EQ(decoded.lines.size(), decoded.nmtFrames) << "offset " << offset;

        const auto page = decodeAll(paging, offset);
        EXPECT_EQ(page.nmtFrames, pagingFrames) << "offset " << offset;
        EXPECT_EQ(page.lines,
                  (std::vector<std::string>{
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
    EXPECT_THAT(decodeAll(rec).lines, UnorderedElementsAreArray(expected));
}

// How many bursts of the listing the framing decodes: each burst is the data-channel
// sync and one codeword; in a run of back-to-back bursts (80 ms apart) the framing,
// once aligned, checks the 64 bits after a codeword as the next codeword, which fails
// on the sync word and lets the next burst pass, so it decodes every other one.
std::pair<size_t, size_t> listedAndFramed(const std::string& listing, const std::string& message)
{
    std::ifstream in(testsignal::recordingsDir() + "/" + listing);
    size_t listed = 0, framed = 0, run = 0;
    double last = -1.0;
    for (std::string line; std::getline(in, line);) {
        double t = 0;
        if (std::sscanf(line.c_str(), "t= %lfs", &t) != 1 || line.find("SYNT | " + message + ":") == std::string::npos)
            continue;
        run = (last >= 0 && t - last < 0.09) ? run + 1 : 1;
        framed += run % 2;
        ++listed;
        last = t;
    }
    return {listed, framed};
}

TEST_F(PeerRecordings, RealDataBurstsAsTheirListingsShowThem)
{
    const struct {
        const char* file;
        const char* message; // as the listing names it
        size_t listed;       // bursts in the listing
        const char* line;    // the decoder's line for its codeword
    } cases[] = {
        // Four go-to-channel codewords, each in its own burst between voice.
        {"mpt1327-real/gophertrunk_MPT1327_442MHz", "GTC", 4,
         "GTC  | Go To Channel Voice             | Ch:   4 ( 90) Org: 3264 Tar:   96 "},
        {"mpt1327-real/gophertrunk_MPT1327_end_link", "CLEAR", 15, kClear288},
        {"mpt1327-real/gophertrunk_MPT1327_start_transmission_link", "MAINT", 3, kMaint288},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto [listed, framed] = listedAndFramed(std::string(c.file) + ".sync_codewords.txt", c.message);
        ASSERT_EQ(listed, c.listed);
        const auto lines = decodeFile(std::string(c.file) + ".wav");
        EXPECT_EQ(lines, std::vector<std::string>(framed, c.line));
    }
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
    const auto one = decodeFile("mpt1327-real/gophertrunk_MPT1327_423.6_1.wav");
    EXPECT_GE(one.size(), 100u);
    EXPECT_TRUE(onlyBurstLines(one));
    const auto two = decodeFile("mpt1327-real/gophertrunk_MPT1327_423.6_2.wav");
    EXPECT_GE(two.size(), 30u);
    EXPECT_TRUE(onlyBurstLines(two));
    // Its sync word has a bit error, so the listing shows no codeword; there is one MAINT.
    EXPECT_EQ(decodeFile("mpt1327-real/gophertrunk_MPT1327_End_individual_trans.wav"),
              std::vector<std::string>{kMaint288});
}

TEST_F(PeerRecordings, RealSystemWithTheOtherSyncPair)
{
    std::vector<std::string> base = {"CCSC | Control Channel System Codeword | SYSId: 0x2e1c NET: 92 SITE: 3 LAB: 4"};
    for (int i = 0; i < 4; ++i) {
        base.push_back("BCAST| Announce Adjacent Site          | SYSId: 0x2e1c Ch:   9  Id red: 0");
        base.push_back("BCAST| Vote Now advice                 | SYSId: 0x2e1c Ch:   7  Id red: 0 ");
    }
    EXPECT_EQ(decodeFile("mpt1327-real/gophertrunk_Base-30sec.wav"), base);
    const auto call = decodeFile("mpt1327-real/gophertrunk_Mobile-call.wav");
    EXPECT_THAT(call,
                testing::IsSupersetOf({
                    "RQQ  | Request status transaction      | ( 14) Org:   14 Tar: 8190 Status:  1",
                    "AHYQ | Status message                  | ( 14) Org:   14 Tar: 8190 Status:  1",
                    "RQS  | Request random access           | ( 14) Org:   14 Tar:   21 Data",
                    "AHY  | Availability check message      | Begin Ack a: ( 14) Org:   14 Data",
                }));
    EXPECT_LE(call.size(), 5u); // and at most the acknowledgement after them
}

} // namespace

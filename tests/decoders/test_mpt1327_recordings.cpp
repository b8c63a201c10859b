// MPT 1327 audio made by an independent base-station encoder must decode exactly as
// its transmit log says.
#include "decoders/CMPT1327.h"
#include "decoders/Recordings.h"
#include "signal/RecordingSink.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> decodeLines(const std::string& file)
{
    const auto rec = testsignal::loadRecording(file);
    testsignal::RecordingSink sink;
    CMPT1327 decoder(&sink, rec.rate);
    testsignal::feedBlocks(rec.pcm, rec.rate, 0, decoder);
    return sink.lines();
}

const char* const kCcsc = "CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1";

TEST(Mpt1327PeerRecordings, AhoyToUnit1234)
{
    VELKOR_REQUIRE_RECORDINGS();
    EXPECT_EQ(decodeLines("generated-peer/osmo_mpt1327_cc_ahy_t20-27s.wav"),
              (std::vector<std::string>{
                  kCcsc,
                  "RQS  | Request random access           | (  1) Org: 8102 Tar: 1234 Data",
                  "AHY  | Availability check message      | Begin Ack a: (  1) Tar: 1234 Data",
              }));
}

TEST(Mpt1327PeerRecordings, FourCancelledAhoys)
{
    VELKOR_REQUIRE_RECORDINGS();
    std::vector<std::string> expected = {kCcsc};
    for (int i = 0; i < 4; ++i) {
        expected.push_back("RQX  | Request call cancel/abort       | (  1) Org: 8102 Tar: 1234");
        expected.push_back("AHYX | Cancel alert/waiting state      | (  1) Org: 8102 Tar: 1234");
    }
    EXPECT_EQ(decodeLines("generated-peer/osmo_mpt1327_cc_ahyx_t114-121s.wav"), expected);
}

} // namespace

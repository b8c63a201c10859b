// velkor-decode on NMT-450 audio: the lines come out as UTF-8, the decoder runs
// beside MPT 1327 on the same blocks.

#include "signal/Audio.h"
#include "signal/Mpt1327Gen.h"
#include "signal/Nmt450Gen.h"

#include <gtest/gtest.h>

#include "fixtures/Process.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

// velkor-decode on the bits as audio: its lines, after it ended with status 0.
std::vector<std::string> runDecode(const testsignal::Bits& bits, std::vector<std::string> args = {})
{
    testsignal::TempDir dir;
    testsignal::writeWav(dir.file("nmt.wav"), testsignal::toPcm16(testsignal::ffsk(bits, 48000, 0.01)), 48000);
    args.push_back(dir.file("nmt.wav"));
    const auto r = testsignal::runTool(VELKOR_DECODE_PATH, args);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(Nmt450DecodeTool, PrintsTheChannelOrderLetterAsUtf8)
{
    testsignal::Bits bits;
    nmtgen::append(bits, nmtgen::fromHex("201461eb00028000"));
    nmtgen::append(bits, nmtgen::fromHex("201f61f000d00000"));
    EXPECT_EQ(runDecode(bits),
              (std::vector<std::string>{"CTIND| Calling/Traffic Ch. indication  | Ch(  1) TA(61)",
                                        "CORDR| Channel activation order        | Start sending \xC3\xB8-signal"}));
}

TEST(Nmt450DecodeTool, BothDecodersRunOnTheSameAudio)
{
    // An MPT 1327 control channel, then an NMT-450 calling channel, in one file.
    mptgen::ControlChannel mpt(0x0089);
    mpt.slot(mptgen::goToChannel(1, 1234, 8102, 17));
    testsignal::Bits bits = mpt.bits;
    for (int i = 0; i < 40; ++i)
        bits.push_back(static_cast<uint8_t>(i & 1));
    nmtgen::append(bits, nmtgen::fromHex("201c611234567000"));
    const auto events = runDecode(bits, {"--events"});
    std::vector<std::string> calls;
    for (const auto& e : events)
        if (e.find("REPORT_CALL") != std::string::npos || e.find("CALLM") != std::string::npos)
            calls.push_back(e);
    ASSERT_EQ(calls.size(), 2u) << ::testing::PrintToString(events);
    EXPECT_NE(calls[0].find("\"channel\":17"), std::string::npos);
    EXPECT_NE(calls[1].find("CALLM| Call to mobile subscriber       | Ch(  1) TA(61)  Z( 1) X(234567)"),
              std::string::npos);
    EXPECT_EQ(events.front().rfind("{\"cmd\":\"MUTE\",", 0), 0u) << events.front();
}

} // namespace

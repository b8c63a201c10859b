// velkor-decode on NMT-450 audio: the lines come out as UTF-8, the decoder runs
// beside MPT 1327 on the same blocks.

#include "signal/Audio.h"
#include "signal/Mpt1327Gen.h"
#include "signal/Nmt450Gen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> runDecode(const std::string& args)
{
    const std::string command = std::string(VELKOR_DECODE_PATH) + " " + args;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<std::string> lines;
    if (!pipe)
        return lines;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, pipe.get())) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

struct TempWav {
    std::filesystem::path path;
    explicit TempWav(const testsignal::Bits& bits, int rate = 48000)
        : path(std::filesystem::temp_directory_path() /
               ("velkor-nmt-" + std::to_string(::getpid()) + "-" + std::to_string(rate) + ".wav"))
    {
        testsignal::FfskOptions options;
        options.rate = rate;
        options.leadSeconds = 0.01;
        testsignal::writeWav(path.string(), testsignal::toPcm16(testsignal::ffsk(bits, options)), rate);
    }
    ~TempWav() { std::filesystem::remove(path); }
};

TEST(Nmt450DecodeTool, PrintsTheChannelOrderLetterAsUtf8)
{
    testsignal::Bits bits;
    nmtgen::append(bits, nmtgen::fromHex("201461eb00028000"));
    nmtgen::append(bits, nmtgen::fromHex("201f61f000d00000"));
    const TempWav wav(bits);
    EXPECT_EQ(runDecode(wav.path.string()),
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
    const TempWav wav(bits);
    const auto events = runDecode("--events " + wav.path.string());
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

// Frame synchronisation, the flywheel and the loss timer, bit by bit.

#include "Nmt450TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

using nmttest::Timed;
using testsignal::Bits;

constexpr size_t kFrame = nmtgen::kFrameBits;
constexpr size_t kLastDataBit = kFrame - 1;        // d139 of the first frame
constexpr size_t kSyncMatchBit = 15 + 11 + 12 - 1; // d11 of the first frame

// Prefix 3 is logged every time, with the channel: a frame's line tells which it was.
uint64_t tcind(unsigned ch)
{
    return nmtgen::pack(nmtgen::Message{.ch = ch, .prefix = 3, .ta = 61});
}
std::string tcindLine(unsigned ch)
{
    char line[80];
    std::snprintf(line, sizeof line, "ADD_LOGSTR TCIND| Free traffic channel indication | Ch(%3u) TA(61)", ch);
    return line;
}

std::vector<int> infoBits(std::initializer_list<int> steps)
{
    std::vector<int> out;
    for (int i : steps)
        out.push_back(2 * i + 13);
    return out;
}
const std::vector<int> kSixErrors = infoBits({3, 12, 21, 30, 39, 48});
const std::vector<int> kSevenErrors = infoBits({3, 12, 21, 30, 39, 48, 57});

struct Framing : ::testing::Test {
    testsignal::RecordingSink sink;
    CNMT450 decoder{&sink, 48000};
    std::vector<Timed> run(const Bits& bits) { return nmttest::feed(decoder, sink, bits); }
};

TEST_F(Framing, CleanFrameIsDecodedAtItsLastBit)
{
    const auto events = run(nmttest::frames({tcind(17)}));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].event, "MUTE");
    EXPECT_EQ(events[0].bit, kSyncMatchBit);
    EXPECT_EQ(events[1].event, tcindLine(17));
    EXPECT_EQ(events[1].bit, kLastDataBit);
    EXPECT_EQ(decoder.acceptedFrames(), 1u);
}

TEST_F(Framing, RawLineCarriesTheErrorCount)
{
    const uint64_t raw = nmtgen::fromHex("2011610000000000");
    Bits bits = nmtgen::frame(raw, {.flipDataBits = kSixErrors});
    nmtgen::append(bits, raw, {.flipDataBits = kSevenErrors});
    const auto lines = [&] {
        run(bits);
        return sink.lines();
    }();
    ASSERT_EQ(lines.size(), 1u) << "a frame with 7 errors is dropped";
    EXPECT_EQ(lines[0], "UNKWN| Ch:   1 Prefix:  1 TA: 61 EC: 6 | 2011 6100 0000 0000");
}

TEST_F(Framing, FrameBeyondTheByteMetricIsTakenWhenItsWrongBitsWereDoubtful)
{
    // Seven information bits wrong: dropped by the byte metric. Handed on as doubtful
    // they cost less than the soft limit and the frame is taken, with the count of
    // wrong bits its path contradicts as the error count; handed on as sure, not.
    const uint64_t raw = nmtgen::fromHex("2011610000000000");
    const Bits bits = nmtgen::frame(raw, {.flipDataBits = kSevenErrors});
    for (const auto& [doubt, expected] :
         {std::pair{0.2f, std::vector<std::string>{"UNKWN| Ch:   1 Prefix:  1 TA: 61 EC: 7 | 2011 6100 0000 0000"}},
          std::pair{1.0f, std::vector<std::string>{}}}) {
        SCOPED_TRACE(doubt);
        testsignal::RecordingSink s;
        CNMT450 nmt(&s, 48000);
        for (size_t i = 0; i < bits.size(); ++i) {
            const int data = static_cast<int>(i) - 15 - 11;
            const bool wrong = std::find(kSevenErrors.begin(), kSevenErrors.end(), data) != kSevenErrors.end();
            nmt.ProcessBit(bits[i] != 0, wrong ? doubt : 1.0f);
        }
        EXPECT_EQ(s.lines(), expected);
    }
}

struct FlywheelCase {
    const char* name;
    std::vector<nmtgen::FrameOptions> frames;
    std::vector<unsigned> decoded; // which frames (1-based) give their line
};

TEST_F(Framing, FlywheelBridgesDamagedSyncOnlyAfterAnAcceptedFrame)
{
    const nmtgen::FrameOptions clean;
    const nmtgen::FrameOptions badSync{.flipDataBits = {}, .syncXor = 0x001};
    const nmtgen::FrameOptions badDotting{.flipDataBits = {}, .syncXor = 0x400};
    const nmtgen::FrameOptions dropped{.flipDataBits = kSevenErrors};
    const nmtgen::FrameOptions sixErrors{.flipDataBits = kSixErrors};
    const FlywheelCase cases[] = {
        {"clean frames", {clean, clean, clean}, {1, 2, 3}},
        {"damaged sync after a good frame", {clean, badSync, badSync, clean}, {1, 2, 3, 4}},
        {"damaged first sync bit", {clean, badDotting, clean}, {1, 2, 3}},
        {"damaged sync first", {badSync, clean, clean}, {2, 3}},
        {"dropped frame ends the flywheel", {clean, dropped, badSync, clean}, {1, 4}},
        {"six errors keep the flywheel", {clean, sixErrors, badSync}, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bits bits;
        for (size_t i = 0; i < c.frames.size(); ++i)
            nmtgen::append(bits, tcind(static_cast<unsigned>(i + 1)), c.frames[i]);
        std::vector<Timed> got;
        for (const auto& e : nmttest::decodeFresh(bits))
            if (e.event.rfind("ADD_LOGSTR", 0) == 0)
                got.push_back(e);
        ASSERT_EQ(got.size(), c.decoded.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].event, tcindLine(c.decoded[i]));
            EXPECT_EQ(got[i].bit, c.decoded[i] * kFrame - 1);
        }
    }
}

TEST_F(Framing, OddBitBehindTheSyncWordStopsTheMatchButNotTheDecode)
{
    // d1..d11 are not part of the code; a 1 there fails the test at the newest end, but
    // the sync bits still reach the oldest end of the window.
    for (int odd : {1, 3, 5, 7, 9, 11}) {
        SCOPED_TRACE(odd);
        const auto events = nmttest::decodeFresh(nmtgen::frame(tcind(5), {.flipDataBits = {odd}}));
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].event, tcindLine(5));
        EXPECT_EQ(events[0].bit, kLastDataBit);
    }
}

TEST_F(Framing, MuteOnceThenUnmuteAfter251BitsWithoutSync)
{
    Bits bits = nmttest::frames({tcind(1), tcind(2), tcind(3)});
    const size_t lastMatch = 2 * kFrame + kSyncMatchBit;
    bits.resize(lastMatch + 1 + 300, 0);
    std::vector<Timed> mutes;
    for (const auto& e : run(bits))
        if (e.event == "MUTE" || e.event == "UNMUTE")
            mutes.push_back(e);
    ASSERT_EQ(mutes.size(), 2u);
    EXPECT_EQ(mutes[0].event, "MUTE");
    EXPECT_EQ(mutes[0].bit, kSyncMatchBit);
    EXPECT_EQ(mutes[1].event, "UNMUTE");
    EXPECT_EQ(mutes[1].bit, lastMatch + 251);

    // A new period of reception mutes again.
    const auto again = nmttest::feed(decoder, sink, nmttest::frames({tcind(4)}), bits.size());
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again[0].event, "MUTE");
}

TEST_F(Framing, NoiseAloneDecodesNothing)
{
    run(testsignal::randomBits(20000, 3));
    EXPECT_TRUE(sink.lines().empty());
}

TEST(NmtFraming, WorksWithoutACommandWindow)
{
    CNMT450 decoder(nullptr, 48000);
    testsignal::feedBits(decoder, nmttest::frames({tcind(1), tcind(2)}));
    EXPECT_EQ(decoder.acceptedFrames(), 2u);
}

} // namespace

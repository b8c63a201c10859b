// NMT-450 through audio: frames -> FFSK -> the FSK demodulator -> the decoder.

#include "Nmt450TestUtil.h"

#include "signal/Feed.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>

namespace {

std::vector<uint64_t> callSequence()
{
    return {
        nmtgen::fromHex("201461eb00028000"), // calling/traffic channel 1, TA 61
        nmtgen::fromHex("201c611234567000"), // call to 1-234567
        nmtgen::fromHex("2015611234567190"), // allocation of channel 190
        nmtgen::fromHex("1906611234567666"), // address complete on 190
        nmtgen::fromHex("1906611234567ddd"), // clearing
        nmtgen::fromHex("201f61f000c00000"), // stop sending ø-signal
    };
}

const std::vector<std::string> kCallLines = {
    "CTIND| Calling/Traffic Ch. indication  | Ch(  1) TA(61)",
    "CALLM| Call to mobile subscriber       | Ch(  1) TA(61)  Z( 1) X(234567)",
    "ALLCT| Traffic channel allocation      | Ch(  1) TA(61)  Z( 1) X(234567) N(190)",
    "LINES| Line signal - Address Complete  | Ch(190) TA(61)  Z( 1) X(234567)",
    "LINES| Line signal - Clearing channel  | Ch(190) TA(61)  Z( 1) X(234567) L(13)",
    "CORDR| Channel activation order        | Stop sending \xF8-signal",
};

void play(CNMT450& decoder, const testsignal::Samples& samples, int rate)
{
    testsignal::feedCapture(testsignal::toPcm16(samples), rate, 0, decoder);
}

struct Start {
    int rate;
    double leadBits; // silence before the first bit, in bit periods
};

void PrintTo(const Start& s, std::ostream* os)
{
    *os << s.rate << " Hz, lead " << s.leadBits << " bit";
}

// The FSK demodulator's bit clock only moves on 1-bits and its decision counts a
// window that is not a bit long at every rate, so it does not lock from every start
// phase: at 48000 Hz audio starting 0.40-0.45 bit into a sample period loses frames,
// at 24000 Hz about half the start phases do, at 12000 Hz nearly all. The decoder is
// checked here from start phases that the demodulator handles.
class Nmt450Audio : public ::testing::TestWithParam<Start> { };

TEST_P(Nmt450Audio, CallSequenceDecodesExactly)
{
    const int rate = GetParam().rate;
    testsignal::RecordingSink sink;
    CNMT450 decoder(&sink, rate);
    play(decoder, testsignal::ffsk(nmttest::frames(callSequence()), rate, GetParam().leadBits / 1200.0), rate);
    EXPECT_EQ(sink.lines(), kCallLines);
    EXPECT_EQ(decoder.acceptedFrames(), callSequence().size());
    const auto events = sink.described();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "MUTE");
    EXPECT_EQ(sink.count(CMDWND_MUTE), 1u);
    EXPECT_EQ(sink.count(CMDWND_REPORT_CALL), 2u);
    EXPECT_EQ(sink.count(CMDWND_CLEAR_CALL), 2u);
}

INSTANTIATE_TEST_SUITE_P(Rates, Nmt450Audio,
                         ::testing::Values(Start{48000, 0.0}, Start{48000, 0.25}, Start{48000, 0.75},
                                           Start{48000, 12.0}, Start{24000, 0.15}, Start{24000, 0.75}));

// Decoded frames out of sent frames in white noise at 48000 Hz, within a band, as a
// modem regression check.
TEST(Nmt450Noise, FramesSurviveNoiseWithinABand)
{
    constexpr int kRate = 48000;
    constexpr int kFrames = 40;
    struct Band {
        double snrDb;
        int atLeast;
    };
    const Band bands[] = {{20, 40}, {14, 40}, {8, 30}};
    std::vector<uint64_t> messages;
    for (int i = 0; i < kFrames; ++i)
        messages.push_back(nmtgen::pack(nmtgen::Message{.ch = static_cast<unsigned>(1 + i), .prefix = 3, .ta = 61}));
    for (const auto& band : bands) {
        testsignal::RecordingSink sink;
        CNMT450 decoder(&sink, kRate);
        auto samples = testsignal::ffsk(nmttest::frames(messages), kRate, 0.01);
        testsignal::addNoise(samples, band.snrDb, 1234);
        play(decoder, samples, kRate);
        const auto decoded = static_cast<int>(sink.lines().size());
        std::printf("SNR %4.1f dB: %d of %d frames\n", band.snrDb, decoded, kFrames);
        EXPECT_GE(decoded, band.atLeast) << "at " << band.snrDb << " dB";
        EXPECT_LE(decoded, kFrames);
    }
}

} // namespace

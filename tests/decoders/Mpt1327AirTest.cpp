// MPT 1327 through audio the way real channels send it: data bursts on a traffic
// channel at whatever bit phase they come after voice, the other sync word pair, and
// audio whose polarity a receiver has turned over (all three decoders).
#include "decoders/CMPT1327.h"
#include "fixtures/Process.h"
#include "signal/BankScenario.h"
#include "signal/DemoScenario.h"
#include "signal/Feed.h"
#include "signal/Mpt1327Gen.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velkor;

using namespace mptgen;

namespace {

const std::string kClear = "CLEAR| Call clear-down                 | Ch: 288 -> CCh: 264";

std::vector<std::string> decodeLines(const testsignal::Samples& audio, int rate)
{
    testsignal::RecordingSink sink;
    CMPT1327 mpt(&sink, rate);
    testsignal::feedCapture(testsignal::toPcm16(audio), rate, 0, mpt);
    return sink.lines();
}

void appendFfsk(testsignal::Samples& audio, const testsignal::Bits& bits, int rate, double leadBits)
{
    const auto part = testsignal::ffsk(bits, rate, leadBits / 1200.0);
    audio.insert(audio.end(), part.begin(), part.end());
}

// A burst as a traffic channel sends it between voice: a short preamble, the sync word
// and one codeword.
testsignal::Bits burst(uint64_t codeword, uint16_t sync, uint16_t preamble = kPreambleEnd)
{
    testsignal::Bits bits;
    testsignal::appendBits(bits, preamble, 16);
    testsignal::appendBits(bits, sync, 16);
    append(bits, codeword);
    return bits;
}

// The bundled recording and its log are what make-demo writes; both decode to the
// listing of the demo traffic.
TEST(Mpt1327Demo, TheDemoTrafficAndTheBundledLogGiveItsListing)
{
    EXPECT_EQ(demoLines().size(), kDemoLines);
    auto audio = testsignal::ffsk(demoControlChannel().bits, 48000, 0.25);
    testsignal::addNoise(audio, 25.0, 1327);
    EXPECT_EQ(decodeLines(audio, 48000), demoLines());
    std::string log;
    for (const auto& line : demoLines())
        log += line + "\n";
    ASSERT_NE(std::getenv("VELKOR_SOURCE_DIR"), nullptr);
    EXPECT_EQ(testsignal::readFile(std::string(std::getenv("VELKOR_SOURCE_DIR")) + "/samples/demo.log"), log);
}

struct BurstCase {
    const char* name;
    int rate;
    double phase;      // of the burst's bits against the bits the clock last followed
    uint16_t preamble; // as received
};

class Mpt1327Burst : public testing::TestWithParam<BurstCase> { };

TEST_P(Mpt1327Burst, AfterVoiceAtAnyPhase)
{
    const BurstCase& c = GetParam();
    // Dotting that the clock locks to, then a second of voice (two tones that are not
    // the data tones), then the burst.
    testsignal::Samples audio;
    appendFfsk(audio, preamble(400), c.rate, 0.0);
    for (int n = 0; n < c.rate; ++n)
        audio.push_back(0.3 * std::sin(2 * M_PI * 430.0 * n / c.rate) + 0.2 * std::sin(2 * M_PI * 2600.0 * n / c.rate));
    appendFfsk(audio, burst(clearDown(288, 264), kDataSync, c.preamble), c.rate, c.phase);
    // A clean burst decodes at almost any clock phase; in noise only near the middle of
    // the eye. A clock left where it was before the voice gets about half of these.
    int decoded = 0;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        auto noisy = audio;
        testsignal::addNoise(noisy, 3.0, seed);
        const auto lines = decodeLines(noisy, c.rate);
        decoded += lines == std::vector<std::string>{kClear};
        EXPECT_LE(lines.size(), 1u) << "seed " << seed;
    }
    EXPECT_GE(decoded, 18);
}

INSTANTIATE_TEST_SUITE_P(Cases, Mpt1327Burst,
                         testing::Values(BurstCase{"HalfABitOff11025", 11025, 0.5, kPreambleEnd},
                                         BurstCase{"QuarterBitOff11025", 11025, 0.25, kPreambleEnd},
                                         BurstCase{"ThreeQuartersOff22050", 22050, 0.75, kPreambleEnd},
                                         // Wrong first preamble bits, as a receiver opening its squelch gives them.
                                         BurstCase{"TwoWrongPreambleBits11025", 11025, 0.5, 0x6AAA},
                                         BurstCase{"TwoWrongPreambleBitsInStep48000", 48000, 0.0, 0xEAAB}),
                         [](const testing::TestParamInfo<BurstCase>& info) { return info.param.name; });

TEST(Mpt1327Burst, ThreeWrongPreambleBitsAreNoSync)
{
    testsignal::Samples audio;
    appendFfsk(audio, burst(clearDown(288, 264), kDataSync, 0xEAAB ^ 0x0100), 48000, 0.0);
    EXPECT_TRUE(decodeLines(audio, 48000).empty());
}

TEST(Mpt1327OtherSyncPair, ControlChannelAndTrafficBurstsDecode)
{
    // A network that sends 0xB433 on its control channel and 0x4BCC on traffic channels.
    for (int rate : {11025, 48000}) {
        testsignal::Bits cc = preamble(16);
        append(cc, systemCodeword(0x2E1C, false, 0xB433));
        append(cc, broadcast(4, 0x2E1C, 9));
        append(cc, systemCodeword(0x2E1C, false, 0xB433));
        append(cc, message(14, 8190, 0, 2, 6, (14u << 5) | 1u));
        testsignal::Samples audio;
        appendFfsk(audio, cc, rate, 0.0);
        audio.insert(audio.end(), static_cast<size_t>(rate / 5), 0.0);
        appendFfsk(audio, burst(clearDown(288, 264), 0x4BCC), rate, 0.3);
        EXPECT_EQ(decodeLines(audio, rate),
                  (std::vector<std::string>{
                      "CCSC | Control Channel System Codeword | SYSId: 0x2e1c NET: 92 SITE: 3 LAB: 4",
                      "BCAST| Announce Adjacent Site          | SYSId: 0x2e1c Ch:   9  Id red: 0",
                      "RQQ  | Request status transaction      | ( 14) Org:   14 Tar: 8190 Status:  1",
                      "AHYQ | Status message                  | ( 14) Org:   14 Tar: 8190 Status:  1",
                      kClear,
                  }))
            << rate;
    }
}

std::vector<std::string> decodeBank(const std::vector<int16_t>& pcm, int rate)
{
    testsignal::RecordingSink sink;
    testsignal::decodeAsTheBank(sink, pcm, rate);
    return sink.described();
}

TEST(InvertedAudio, EveryDecoderGivesTheSameEvents)
{
    for (int rate : {48000, 22050, 11025}) {
        const auto pcm = testsignal::bankRecording(rate);
        auto inverted = pcm;
        for (auto& s : inverted)
            s = static_cast<int16_t>(s == -32768 ? 32767 : -s);
        const auto expected = decodeBank(pcm, rate);
        ASSERT_GT(expected.size(), 30u) << rate;
        EXPECT_EQ(decodeBank(inverted, rate), expected) << rate;
    }
}

} // namespace

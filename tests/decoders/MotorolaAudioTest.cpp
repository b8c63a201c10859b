// The Motorola decoder through audio: generated words as NRZ audio at the offered
// rates (including rates where a bit is not a whole number of samples), square or
// shaped like discriminator audio, with noise.
#include "MotorolaHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

using motogen::Word;
using testing::ElementsAreArray;
using testsignal::RecordingSink;

// Site and system words are handled at once; the rest pass through the history and
// come out one word late.
const std::vector<Word> kTraffic = motogen::systemAnnouncement(0x3C1, 0x2800 + 42) +
    std::vector<Word>{motogen::radio(2001), motogen::site(17), motogen::grant(100, 600), motogen::idle()} +
    motogen::affiliation(2002, 101) + std::vector<Word>{motogen::grant(102, 383), motogen::radio(1)};

const std::vector<std::string> kExpected = {
    "REPORT_SYSTEM 961/0/0",
    "ADD_LOGSTR SYSAN| System 0x03C1 on control channel 42",
    "ADD_LOGSTR SITE | System 0x03C1 Site 17",
    "ADD_LOGSTR VCALL| Call to 100 from 702001 on channel 600",
    "REPORT_CALL t0 961/1/100 <- 961/1/702001 cc42 ch600",
    "REPORT_SYSTEM 961/1/702002",
    "REPORT_SYSTEM 961/1/101",
    "ADD_LOGSTR AFFIL| Radio 2002 affiliated to group 101",
    // After the affiliation's second word there is no caller to name.
    "ADD_LOGSTR VCALL| Call to 102 from 102 on channel 383",
    "REPORT_CALL t0 961/1/102 <- 961/1/102 cc42 ch383",
};

struct AudioCase {
    const char* name;
    motoharness::AudioOptions options;
};

class MotorolaAudio : public testing::TestWithParam<AudioCase> { };

TEST_P(MotorolaAudio, DecodesEveryWord)
{
    const auto& o = GetParam().options;
    RecordingSink sink;
    CMotorola m(&sink, o.rate);
    motoharness::feedAudio(m, motoharness::audio(motogen::stream(kTraffic), o), o.rate);
    EXPECT_THAT(sink.messages(), ElementsAreArray(kExpected));
    EXPECT_EQ(sink.count(CMDWND_MUTE), kTraffic.size());
}

motoharness::AudioOptions at(int rate, double bt = 0.0, double snr = 0.0, double lead = 0.0)
{
    motoharness::AudioOptions o;
    o.rate = rate;
    o.bt = bt;
    o.noise = snr > 0.0;
    o.snrDb = snr;
    o.leadSeconds = lead;
    return o;
}

INSTANTIATE_TEST_SUITE_P(Rates, MotorolaAudio,
                         testing::Values(AudioCase{"Square48000", at(48000)}, AudioCase{"Square22050", at(22050)},
                                         AudioCase{"Square10800", at(10800)}, AudioCase{"Square44100", at(44100)},
                                         AudioCase{"Shaped48000Noisy", at(48000, 0.5, 15.0)},
                                         AudioCase{"Shaped22050Noisy", at(22050, 0.5, 15.0)},
                                         AudioCase{"Shaped11025", at(11025, 0.5)},
                                         // Bit edges away from the slicer's own grid, by less than half a
                                         // bit minus the time a sample takes to see the crossing (the slicer
                                         // has no timing recovery).
                                         AudioCase{"Offset48000", at(48000, 0.5, 20.0, 0.3 / 3600)},
                                         AudioCase{"Offset22050", at(22050, 0.0, 0.0, 0.2 / 3600 + 0.5 / 22050)},
                                         AudioCase{"EarlyEdges22050", at(22050, 0.0, 0.0, -0.4 / 3600)}),
                         [](const testing::TestParamInfo<AudioCase>& info) { return info.param.name; });

std::vector<std::string> decodeAudio(const std::vector<int16_t>& pcm, int rate)
{
    RecordingSink sink;
    CMotorola m(&sink, rate);
    motoharness::feedAudio(m, pcm, rate);
    return sink.described();
}

TEST(MotorolaAudio, InvertedAudioDecodesTheSameAndAChangeOfPolarityIsFollowed)
{
    auto o = at(48000, 0.5);
    const auto upright = motoharness::audio(motogen::stream(kTraffic), o);
    o.inverted = true;
    const auto inverted = motoharness::audio(motogen::stream(kTraffic), o);
    const auto expected = decodeAudio(upright, o.rate);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(decodeAudio(inverted, o.rate), expected);

    // The receiver swaps polarity between two transmissions.
    auto both = upright;
    both.insert(both.end(), inverted.begin(), inverted.end());
    RecordingSink sink;
    CMotorola m(&sink, o.rate);
    motoharness::feedAudio(m, both, o.rate);
    EXPECT_EQ(sink.count(CMDWND_MUTE), 2 * kTraffic.size());
    EXPECT_EQ(sink.count(CMDWND_REPORT_CALL), 4u);
}

TEST(MotorolaAudio, NoiseMakesNoWords)
{
    // Ten minutes of white noise: the sync byte shows every 256 bits or so, and one
    // random block in a thousand passes the checksum.
    constexpr int kRate = 11025;
    testsignal::Samples hiss(static_cast<size_t>(kRate) * 600, 0.0);
    hiss[0] = 0.5; // addNoise scales the noise to the non-silent samples
    testsignal::addNoise(hiss, 0.0, 8101);
    EXPECT_THAT(decodeAudio(testsignal::toPcm16(hiss), kRate), testing::IsEmpty());
}

TEST(MotorolaAudio, ControlChannelIdentifierIsNoCall)
{
    // An individual word of address 0x1Fxx with a channel number is the control channel
    // naming itself. It stays out of the history, so the grant before it keeps its
    // caller; with the group flag, or another address, such a word is a grant.
    const auto words =
        std::vector<Word>{motogen::radio(10), motogen::grant(500, 400), Word{0x1F45, 0, 600}, Word{0x1FFF, 0, 759},
                          motogen::radio(2),  Word{0x1F45, 1, 600},     Word{0x2045, 0, 601}, motogen::radio(3)};
    RecordingSink sink;
    CMotorola m(&sink, 22050);
    motoharness::feedAudio(m, motoharness::audio(motogen::stream(words), at(22050, 0.5)), 22050);
    EXPECT_THAT(sink.messages(),
                ElementsAreArray(std::vector<std::string>{
                    "ADD_LOGSTR VCALL| Call to 500 from 700010 on channel 400",
                    "REPORT_CALL t0 0/1/500 <- 0/1/700010 cc0 ch400",
                    "ADD_LOGSTR VCALL| Call to 8005 from 700002 on channel 600",
                    "REPORT_CALL t0 0/1/8005 <- 0/1/700002 cc0 ch600",
                    "ADD_LOGSTR VCALL| Call to 8261 from 8261 on channel 601",
                    "REPORT_CALL t0 0/1/8261 <- 0/1/8261 cc0 ch601",
                }));
}

// Words decoded out of words sent as the noise rises, in the style of a modem
// regression test: the counts must stay within a band measured once (the noise is
// seeded, so the counts are repeatable). The noise is white over the whole audio band.
struct NoiseRow {
    double snrDb;
    int minimumPercent; // square edges
    int minimumPercentShaped;
};

struct NoiseBand {
    int rate;
    std::vector<NoiseRow> rows;
};

class MotorolaNoise : public testing::TestWithParam<NoiseBand> { };

TEST_P(MotorolaNoise, DecodeCountStaysWithinItsBand)
{
    constexpr int kWords = 300;
    std::vector<Word> words;
    for (int i = 0; i < kWords; ++i)
        words.push_back(motogen::site(static_cast<unsigned>(i % 64)));

    const int rate = GetParam().rate;
    std::printf("  SNR dB   square (false)   shaped BT 0.5 (false)   of %d words at %d Hz\n", kWords, rate);
    for (const auto& row : GetParam().rows) {
        int decoded[2] = {};
        int wrong[2] = {};
        for (int shaped = 0; shaped < 2; ++shaped) {
            auto o = at(rate, shaped ? 0.5 : 0.0);
            o.noise = true;
            o.snrDb = row.snrDb;
            o.seed = static_cast<uint32_t>(1000 + row.snrDb);
            RecordingSink sink;
            CMotorola m(&sink, o.rate);
            motoharness::feedAudio(m, motoharness::audio(motogen::stream(words), o), o.rate);
            // Count the sent words that came out right: each site line must name the
            // next sent site, possibly after some that were lost.
            size_t next = 0;
            for (const auto& line : sink.lines()) {
                while (next < words.size()) {
                    char expected[64];
                    std::snprintf(expected, sizeof expected, "SITE | System 0x0000 Site %u",
                                  static_cast<unsigned>(words[next].command - 0x360));
                    ++next;
                    if (line == expected) {
                        ++decoded[shaped];
                        break;
                    }
                }
            }
            // Good checksums that are not a sent word in its place.
            wrong[shaped] = static_cast<int>(sink.count(CMDWND_MUTE)) - decoded[shaped];
        }
        std::printf("  %6.0f   %6d (%d)      %6d (%d)\n", row.snrDb, decoded[0], wrong[0], decoded[1], wrong[1]);
        EXPECT_GE(decoded[0] * 100, row.minimumPercent * kWords) << row.snrDb << " dB square";
        EXPECT_GE(decoded[1] * 100, row.minimumPercentShaped * kWords) << row.snrDb << " dB shaped";
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, MotorolaNoise,
                         testing::Values(NoiseBand{48000,
                                                   {{20, 100, 100},
                                                    {17, 100, 100},
                                                    {14, 100, 100},
                                                    {11, 99, 99},
                                                    {8, 90, 93},
                                                    {5, 50, 60},
                                                    {2, 2, 8},
                                                    {0, 0, 0}}},
                                         NoiseBand{22050,
                                                   {{20, 100, 100},
                                                    {17, 100, 100},
                                                    {14, 100, 100},
                                                    {11, 99, 99},
                                                    {8, 88, 90},
                                                    {5, 45, 55},
                                                    {2, 2, 8},
                                                    {0, 0, 0}}}),
                         [](const testing::TestParamInfo<NoiseBand>& info) { return std::to_string(info.param.rate); });

} // namespace

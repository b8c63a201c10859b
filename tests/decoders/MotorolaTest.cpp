// The Motorola decoder fed with the bits of generated control-channel words: framing,
// error correction, the word history and the exact events it posts.
#include "MotorolaHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using motogen::Word;
using motoharness::feedBits;
using testing::ElementsAre;
using testing::IsEmpty;
using testsignal::Bits;
using testsignal::RecordingSink;

struct Decoder {
    RecordingSink sink;
    CMotorola motorola{&sink, 48000};

    std::vector<std::string> send(const std::vector<Word>& words)
    {
        sink.clear();
        feedBits(motorola, motogen::stream(words));
        return sink.described();
    }
    std::vector<std::string> sendMessages(const std::vector<Word>& words)
    {
        send(words);
        return sink.messages();
    }
};

// A sync byte before every block, then the sync byte and the 12 bits that release the
// last one.
Bits framed(const std::vector<Bits>& blocks, uint16_t release = 0xFFF)
{
    Bits air;
    for (const Bits& block : blocks) {
        testsignal::appendBits(air, motogen::kSync, 8);
        air.insert(air.end(), block.begin(), block.end());
    }
    testsignal::appendBits(air, motogen::kSync, 8);
    testsignal::appendBits(air, release, 12);
    return air;
}

std::vector<std::string> described(const Bits& air)
{
    RecordingSink sink;
    CMotorola m(&sink, 48000);
    feedBits(m, air);
    return sink.described();
}

// Blocks worked out by hand from the protocol's description of the control word (its
// masks, the checksum, the rate-1/2 code and the interleaving), as they are sent.
const struct {
    Word word;
    const char* air;
} kReferenceBlocks[] = {
    {{0xFFFF, 0, 0x365}, "0101100111010010011011101000010001011001011011111000010100000001000110011001"},
    {{0xBEEF, 0, 0x32B}, "0101100111111011000001111100000011000011001111111110100001001011000000001000"},
    {{0x05A5, 1, 0x308}, "1010101001111100100111000011001010011110010111110100001100011110110101100010"},
    {{0x2803, 1, 0x30B}, "1100011101111000011100101011001011010110100101110111011000110001010100101111"},
    {{77, 1, 0x0A0}, "1010010000111100010111100111010110100010101111001000101000000101100011110110"},
    {{1500, 1, 451}, "1010110001011010101111000010101110101110011010000011111000011011001010101001"},
    {{0x1F00, 0, 0x2F8}, "1001011010001110001111111001101011001011010100101100001100100001000111110111"},
    {{78, 1, 0x0A0}, "1010010100111110101111100100010110100110101110001001110000000101100011001101"},
};

TEST(Motorola, ReferenceBlocksAreWhatTheGeneratorMakesAndDecodeToTheirEvents)
{
    std::vector<Bits> blocks;
    for (const auto& r : kReferenceBlocks) {
        blocks.emplace_back();
        for (const char* c = r.air; *c; ++c)
            blocks.back().push_back(*c == '1');
        EXPECT_EQ(motogen::block(r.word), blocks.back()) << r.air;
    }
    // A site, the system, an announcement (reported at the word after it), a radio's
    // word, the grant, an idle word that changes nothing, and the word that brings the
    // grant out, naming the radio before it as the caller.
    EXPECT_THAT(described(framed(blocks, 0xA5A)),
                ElementsAre("ADD_LOGSTR SITE | System 0x0000 Site 5", "MUTE", "REPORT_SYSTEM 48879/0/0", "MUTE", "MUTE",
                            "MUTE", "REPORT_SYSTEM 1445/0/0", "ADD_LOGSTR SYSAN| System 0x05A5 on control channel 3",
                            "MUTE", "MUTE", "MUTE", "ADD_LOGSTR VCALL| Call to 1500 from 700077 on channel 451",
                            "REPORT_CALL t0 1445/1/1500 <- 1445/1/700077 cc3 ch451", "MUTE"));
}

TEST(Motorola, WordIsDecodedAtTheBitThatCompletesSyncAndTwelveMoreBits)
{
    // Sync byte, block, sync byte, 12 bits: nothing before the last of them.
    const Bits air = framed({motogen::block(motogen::site(63))}, 0x000);
    RecordingSink sink;
    CMotorola m(&sink, 48000);
    for (const auto& e : testsignal::feedTimed(m, sink, air, true))
        EXPECT_EQ(e.bit, air.size() - 1) << e.event;
    EXPECT_THAT(sink.described(), ElementsAre("ADD_LOGSTR SITE | System 0x0000 Site 63", "MUTE"));
}

TEST(Motorola, EverySingleWrongBitInTheBlockIsCorrected)
{
    const std::vector<std::pair<Word, std::vector<std::string>>> cases = {
        {motogen::systemId(0xBEEF), {"REPORT_SYSTEM 48879/0/0", "MUTE"}},
        {motogen::site(42), {"ADD_LOGSTR SITE | System 0x0000 Site 42", "MUTE"}},
        {motogen::systemId(0x0001), {"REPORT_SYSTEM 1/0/0", "MUTE"}},
    };
    for (const auto& [word, expected] : cases) {
        for (int wrong = 0; wrong < motogen::kBlockBits; ++wrong) {
            Bits block = motogen::block(word);
            block[static_cast<size_t>(wrong)] ^= 1;
            EXPECT_EQ(described(framed({block})), expected) << "air bit " << wrong << " of word " << word.command;
        }
    }
}

TEST(Motorola, TwoNeighbouringWrongDataBitsAreMendedWhenTheSlicerDoubtedThem)
{
    // Wrong data bits j and j + 1 leave the check between them good: the single-error
    // correction cannot place them, the reliabilities can.
    const auto airBit = [](int position) { return position / 4 + 19 * (position % 4); };
    for (int j : {0, 7, 20, 35}) {
        SCOPED_TRACE(j);
        Bits air = framed({motogen::block(motogen::site(42))});
        const int first = 8 + airBit(2 * j);
        const int second = 8 + airBit(2 * j + 2);
        air[static_cast<size_t>(first)] ^= 1;
        air[static_cast<size_t>(second)] ^= 1;
        for (const auto& [doubt, decoded] : {std::pair{0.2f, true}, std::pair{1.0f, false}}) {
            RecordingSink sink;
            CMotorola m(&sink, 48000);
            for (size_t i = 0; i < air.size(); ++i)
                m.ProcessBit(air[i] == 0, static_cast<int>(i) == first || static_cast<int>(i) == second ? doubt : 0.9f);
            EXPECT_EQ(sink.lines(),
                      decoded ? std::vector<std::string>{"SITE | System 0x0000 Site 42"} : std::vector<std::string>{})
                << "doubt " << doubt;
        }
    }
}

TEST(Motorola, BlockThatFailsTheChecksumIsDroppedSilently)
{
    auto data = motogen::dataBits(motogen::site(3));
    data[30] ^= 1; // a clean code word whose checksum does not match its data
    Bits air = framed({motogen::interleave(motogen::codeBits(data))}, 0);
    air.insert(air.end(), 188, 0);
    EXPECT_THAT(described(air), IsEmpty());
}

TEST(Motorola, WordIsTrustedOnlyWhereTheFrameSpacingConfirmsIt)
{
    // A block with a sync byte after it but none 84 bits before or after: what a
    // random block in noise looks like.
    const Bits block = motogen::block(motogen::site(1));
    Bits lone(30, 0);
    lone.insert(lone.end(), block.begin(), block.end());
    testsignal::appendBits(lone, motogen::kSync, 8);
    lone.insert(lone.end(), 100, 0);
    EXPECT_THAT(described(lone), IsEmpty());
    // The sync byte in front of the second block is damaged: the first block is never
    // released, the second is confirmed by the sync byte of the frame after.
    Bits air = framed({block, motogen::block(motogen::site(2)), motogen::block(motogen::site(3))}, 0xA5A);
    air[motogen::kFrameBits + 3] ^= 1; // kSync ^ 0x10
    EXPECT_THAT(described(air),
                ElementsAre("ADD_LOGSTR SITE | System 0x0000 Site 2", "MUTE", "ADD_LOGSTR SITE | System 0x0000 Site 3",
                            "MUTE"));
}

TEST(Motorola, TrustedWordGivesTheFrameGrid)
{
    const auto sites = [](std::vector<unsigned> numbers, bool unmute) {
        std::vector<Bits> blocks;
        std::vector<std::string> lines;
        for (unsigned n : numbers) {
            blocks.push_back(motogen::block(motogen::site(n)));
            lines.push_back("ADD_LOGSTR SITE | System 0x0000 Site " + std::to_string(n));
            lines.push_back("MUTE");
        }
        if (unmute)
            lines.push_back("UNMUTE");
        return std::make_pair(blocks, lines);
    };
    // Bit n of the sync byte in front of block k (the one after the last block is k =
    // the number of blocks) is at k * 84 + n.
    const auto flip = [](Bits& air, size_t k, size_t n) { air[k * motogen::kFrameBits + n] ^= 1; };
    struct Case {
        const char* name;
        Bits air;
        std::vector<std::string> expected;
    };
    std::vector<Case> cases;
    {
        // The next block's sync byte after it has a wrong bit: the frame after confirms
        // that block, and the channel stays muted meanwhile.
        auto [blocks, lines] = sites({1, 2, 3, 4}, false);
        Bits air = framed(blocks, 0xA5A);
        flip(air, 2, 7);
        cases.push_back({"GridCarriesASpoiltSyncByte", air, lines});
    }
    {
        // The slicer gained a bit in front of the third block, whose sync byte after it
        // has a wrong bit: the block is found a bit late on the grid.
        auto [blocks, lines] = sites({1, 2, 3, 4, 5}, false);
        Bits air = framed(blocks, 0xA5A);
        flip(air, 3, 4);
        air.insert(air.begin() + 2 * motogen::kFrameBits + 8, 1);
        cases.push_back({"GridFollowsASlipOfOneBit", air, lines});
    }
    {
        // The signal ends after the last frame's sync byte; a block that checks good
        // right after it, with no clean sync byte and no frame after, is not trusted.
        auto [blocks, lines] = sites({1, 2}, true);
        blocks.push_back(motogen::block(motogen::site(3)));
        Bits air = framed(blocks, 0);
        flip(air, 3, 1);
        flip(air, 3, 7);
        air.insert(air.end(), 188, 0);
        cases.push_back({"NothingAfterTheLastSyncByte", air, lines});
    }
    {
        // Neither block has clean sync bytes on both sides, but two good blocks 84 bits
        // apart confirm each other.
        auto [blocks, lines] = sites({1, 2}, true);
        Bits air = framed(blocks, 0);
        flip(air, 0, 3);
        flip(air, 2, 6);
        air.insert(air.end(), 188, 0);
        cases.push_back({"TwoGoodBlocksConfirmEachOther", air, lines});
    }
    for (const auto& c : cases)
        EXPECT_EQ(described(c.air), c.expected) << c.name;
}

// Words sent in turns to one decoder; after each turn its events (all, or all but the
// mutes), unless the turn only sets the scene.
enum class Check { None, All, Messages };
struct Turn {
    std::vector<Word> words;
    Check check;
    std::vector<std::string> expected = {};
};
struct Scenario {
    const char* name;
    std::vector<Turn> turns;
    int system = -1; // the system known at the end, where it is checked
};

void PrintTo(const Scenario& scenario, std::ostream* os)
{
    *os << scenario.name;
}

class MotorolaWords : public testing::TestWithParam<Scenario> { };

TEST_P(MotorolaWords, GiveTheirEventsTurnByTurn)
{
    Decoder d;
    for (size_t t = 0; t < GetParam().turns.size(); ++t) {
        const Turn& turn = GetParam().turns[t];
        const auto all = d.send(turn.words);
        if (turn.check != Check::None) {
            EXPECT_EQ(turn.check == Check::All ? all : d.sink.messages(), turn.expected) << "turn " << t;
        }
    }
    EXPECT_TRUE(GetParam().system < 0 || d.motorola.system() == GetParam().system) << d.motorola.system();
}

using motogen::grant;
using motogen::idle;
using motogen::radio;
using motogen::site;
using motogen::systemId;
// The grant's origin after radio(10) and the given word, grant(500, 380), radio(2).
Scenario origin(const char* name, Word before, std::vector<std::string> expected)
{
    return {name, {{{radio(10), before}, Check::None}, {{grant(500, 380), radio(2)}, Check::Messages, expected}}};
}
const std::vector<std::string> kNoCaller = {"ADD_LOGSTR VCALL| Call to 500 from 500 on channel 380",
                                            "REPORT_CALL t0 0/1/500 <- 0/1/500 cc0 ch380"};

INSTANTIATE_TEST_SUITE_P(
    Cases, MotorolaWords,
    testing::Values(
        Scenario{"SiteWordBeforeAnySystemIsKnown",
                 {{{site(5)}, Check::All, {"ADD_LOGSTR SITE | System 0x0000 Site 5", "MUTE"}}}},
        // radio, grant, then idle words, then a word that moves the grant on: the pair
        // examined is still (radio, grant).
        Scenario{"IdleWordChangesNothingNotEvenTheHistory",
                 {{{radio(1234), grant(77, 400), idle(), idle()}, Check::All, {"MUTE", "MUTE", "MUTE", "MUTE"}},
                  {{idle(), radio(9)},
                   Check::Messages,
                   {"ADD_LOGSTR VCALL| Call to 77 from 701234 on channel 400",
                    "REPORT_CALL t0 0/1/77 <- 0/1/701234 cc0 ch400"}}}},
        // The grant is the newest word: nothing yet, and ignored words do not move it on.
        Scenario{"GrantIsReportedWhenTheNextHistoryWordArrives",
                 {{{systemId(0x2A5)}, Check::None},
                  {motogen::systemAnnouncement(0x2A5, 0x2800 + 12) + std::vector<Word>{radio(4321)}, Check::None},
                  {{grant(3001, 759), site(9), systemId(0x2A5)},
                   Check::All,
                   {"MUTE", "ADD_LOGSTR SITE | System 0x02A5 Site 9", "MUTE", "MUTE"}},
                  {{radio(1)},
                   Check::All,
                   {"ADD_LOGSTR VCALL| Call to 3001 from 704321 on channel 759",
                    "REPORT_CALL t0 677/1/3001 <- 677/1/704321 cc12 ch759", "MUTE"}}}},
        origin("RadioWordNamesTheCaller", radio(65535, 379),
               {"ADD_LOGSTR VCALL| Call to 500 from 765535 on channel 380",
                "REPORT_CALL t0 0/1/500 <- 0/1/765535 cc0 ch380"}),
        origin("AfterAnotherGrantTheOriginIsTheTarget", grant(600, 700),
               {"ADD_LOGSTR VCALL| Call to 600 from 700010 on channel 700",
                "REPORT_CALL t0 0/1/600 <- 0/1/700010 cc0 ch700", kNoCaller[0], kNoCaller[1]}),
        origin("CommandAboveTheChannelsIsNoCaller", Word{77, 1, 761}, kNoCaller),
        origin("TwoWordMessageIsNeverAGrant", Word{88, 1, 0x308}, {}),
        origin("TwoWordHeaderWithoutFlagIsAnOrdinaryWord", Word{88, 0, 0x308}, kNoCaller),
        // Nothing was received before the grant, so no radio 0 may be made up as its caller.
        Scenario{
            "FirstGrantAfterStartHasNoCallerToName",
            {{{grant(10, 400), radio(1)},
              Check::Messages,
              {"ADD_LOGSTR VCALL| Call to 10 from 10 on channel 400", "REPORT_CALL t0 0/1/10 <- 0/1/10 cc0 ch400"}},
             {{grant(11, 401), radio(2)},
              Check::Messages,
              {"ADD_LOGSTR VCALL| Call to 11 from 700001 on channel 401",
               "REPORT_CALL t0 0/1/11 <- 0/1/700001 cc0 ch401"}}}},
        // A system word with the flag set is an ordinary word.
        Scenario{"SystemIdentityIsReportedOnlyWhenItChanges",
                 {{{systemId(0x123), systemId(0x123), site(7), systemId(0x456), systemId(0x123)},
                   Check::Messages,
                   {"REPORT_SYSTEM 291/0/0", "ADD_LOGSTR SITE | System 0x0123 Site 7", "REPORT_SYSTEM 1110/0/0",
                    "REPORT_SYSTEM 291/0/0"}},
                  {{Word{0x999, 1, 0x32B}, radio(5)}, Check::Messages, {}}},
                 0x123},
        Scenario{"SiteNeedsTheSiteAddress",
                 {{{Word{0xFFFE, 0, 0x365}, Word{0xFFFF, 1, 0x39F}, Word{0xFFFF, 0, 0x3A0}},
                   Check::Messages,
                   {"ADD_LOGSTR SITE | System 0x0000 Site 63"}}}},
        Scenario{"AffiliationReportsBothPartiesBeforeTheLine",
                 {{{systemId(0xC0DE)}, Check::None},
                  {motogen::affiliation(1234, 56) + std::vector<Word>{idle(), radio(3)},
                   Check::All,
                   {"MUTE", "MUTE", "MUTE", "REPORT_SYSTEM 49374/1/701234", "REPORT_SYSTEM 49374/1/56",
                    "ADD_LOGSTR AFFIL| Radio 1234 affiliated to group 56", "MUTE"}}}}),
    [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

TEST(Motorola, SystemAnnouncementInAndOutOfTheControlChannelRange)
{
    Decoder d;
    EXPECT_THAT(
        d.sendMessages(motogen::systemAnnouncement(0x1A2B, 0x2800 + 0x3FF) + std::vector<Word>{motogen::radio(1)}),
        ElementsAre("REPORT_SYSTEM 6699/0/0", "ADD_LOGSTR SYSAN| System 0x1A2B on control channel 1023"));
    EXPECT_EQ(d.motorola.controlChannel(), 0x3FF);
    // Outside 0x2800 ... 0x2BFF the control channel stays; the same system is not
    // reported again.
    EXPECT_THAT(d.sendMessages(motogen::systemAnnouncement(0x1A2B, 0x2C00) + std::vector<Word>{motogen::radio(1)}),
                ElementsAre("ADD_LOGSTR SYSAN| System 0x1A2B on control channel 1023"));
    EXPECT_THAT(d.sendMessages(motogen::systemAnnouncement(0x0042, 0x27FF) + std::vector<Word>{motogen::radio(1)}),
                ElementsAre("REPORT_SYSTEM 66/0/0", "ADD_LOGSTR SYSAN| System 0x0042 on control channel 1023"));
    EXPECT_THAT(d.sendMessages(motogen::systemAnnouncement(0x0042, 0x2800) + std::vector<Word>{motogen::radio(1)}),
                ElementsAre("ADD_LOGSTR SYSAN| System 0x0042 on control channel 0"));
}

TEST(Motorola, UnmuteComesOnce160BitsAfterTheLastGoodWord)
{
    RecordingSink sink;
    CMotorola m(&sink, 48000);
    Bits air = motogen::stream({motogen::site(1), motogen::idle(), motogen::site(2), motogen::idle()});
    // After the stream the channel goes quiet: a steady level, read as 1-bits.
    air.insert(air.end(), 400, 1);
    std::vector<size_t> mutes;
    std::vector<size_t> unmutes;
    for (const auto& e : testsignal::feedTimed(m, sink, air, true)) {
        if (e.event == "MUTE")
            mutes.push_back(e.bit);
        if (e.event == "UNMUTE")
            unmutes.push_back(e.bit);
    }
    ASSERT_EQ(mutes.size(), 4u);
    for (size_t k = 1; k < mutes.size(); ++k)
        EXPECT_EQ(mutes[k] - mutes[k - 1], static_cast<size_t>(motogen::kFrameBits));
    ASSERT_EQ(unmutes.size(), 1u);
    EXPECT_EQ(unmutes[0] - mutes.back(), 160u);
}

TEST(Motorola, WithoutACommandWindowItStillDecodes)
{
    CMotorola m(nullptr, 48000);
    feedBits(m, motogen::stream(motogen::systemAnnouncement(0x77, 0x2805) + std::vector<Word>{motogen::radio(1)}));
    EXPECT_EQ(m.system(), 0x77);
    EXPECT_EQ(m.controlChannel(), 5);
}

TEST(Motorola, HandleWordDirectly)
{
    RecordingSink sink;
    CMotorola m(&sink, 48000);
    m.HandleWord({0xFFFF, 0, 0x365});
    m.SetSystem(0x10);
    m.SetSystem(0x10);
    m.HandleWord({0xFFFF, 1, 0x360});
    EXPECT_THAT(sink.described(),
                ElementsAre("ADD_LOGSTR SITE | System 0x0000 Site 5", "REPORT_SYSTEM 16/0/0",
                            "ADD_LOGSTR SITE | System 0x0010 Site 0"));
}

// Fixed (800/900 MHz) plans: a request word and a channel word are a grant whatever their
// flags; before the system is announced, or without a plan, 380-759 rules hold.
TEST(Motorola, FixedBandPlansReadGrantsByTheirPairRule)
{
    using K = MotorolaPlanKind;
    const std::vector<Word> ann = motogen::systemAnnouncement(0x1234, 0x2805);
    const Word after{78, 0, 0x310}; // moves the last pair through the history
    const struct {
        K kind;
        std::vector<Word> words;
        std::vector<std::string> lines;
    } cases[] = {
        {K::Standard800,
         ann + std::vector<Word>{{77, 1, 0x308}, {500, 1, 256}, after},
         {"VCALL| Call to 500 from 700077 on channel 256"}},
        {K::Rebanded800,
         ann + std::vector<Word>{{77, 0, 0x321}, {500, 0, 961}, after},
         {"VCALL| Call to 500 from 700077 on channel 961"}},
        {K::Band900,
         ann + std::vector<Word>{{77, 0, 0x310}, {500, 0, 100}, after},
         {"VCALL| Call to 500 from 500 on channel 100"}},
        {K::Standard800, ann + std::vector<Word>{{0x1F05, 0, 5}, after, after}, {}},
        {K::Obt, ann + std::vector<Word>{{77, 0, 0x308}, {500, 0, 256}, after}, {}},
        {K::Standard800, {{77, 0, 0x308}, {500, 0, 256}, after}, {}},
    };
    for (const auto& c : cases) {
        RecordingSink sink;
        CMotorola m(&sink, 48000);
        m.SetBandPlans({{0x1234, MotorolaBandPlan{c.kind, {}}}});
        for (const Word& w : c.words)
            m.HandleWord({w.address, w.flag, w.command});
        std::vector<std::string> calls;
        for (const std::string& line : sink.lines())
            if (line.rfind("VCALL", 0) == 0)
                calls.push_back(line);
        EXPECT_EQ(calls, c.lines) << &c - cases;
    }
}

} // namespace

// The decoder bank on generated control-channel audio: block sizes, odd and empty
// blocks, the fixed decoder order, the stop flag, rebuilding at a new rate, and the
// bank running on a file source's thread.
#include "bank/DecoderBank.h"
#include "audio/FileSource.h"
#include "audio/PortAudioSource.h"
#include "fixtures/WaitFor.h"
#include "signal/BankScenario.h"
#include "signal/RecordingSink.h"
#include "tools/ToolRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace velkor;

using namespace testsignal;

namespace {

// What the source told the owner of its end: "(none)" until it does.
struct EndSeen {
    std::mutex mutex;
    std::string error = "(none)";
    int calls = 0;

    DecoderBank::SourceEvents events()
    {
        DecoderBank::SourceEvents e;
        e.ended = [this](const velkor::Status& end) {
            std::lock_guard lock(mutex);
            error = end ? "(ended without an error)" : end.error();
            ++calls;
        };
        return e;
    }
    std::string seen()
    {
        std::lock_guard lock(mutex);
        return error;
    }
};

// Feeds pcm to the bank in blocks of blockSamples samples.
void feed(DecoderBank& bank, const std::vector<int16_t>& pcm, size_t blockSamples)
{
    for (size_t i = 0; i < pcm.size(); i += blockSamples) {
        const size_t n = std::min(blockSamples, pcm.size() - i);
        bank.FeedBlock(&pcm[i], n * sizeof(int16_t));
    }
}

std::vector<std::string> decodeInBlocks(int rate, const std::vector<int16_t>& pcm, size_t blockSamples)
{
    RecordingSink sink;
    DecoderBank bank(&sink, static_cast<unsigned>(rate), nullptr);
    feed(bank, pcm, blockSamples);
    return sink.described();
}

// Which decoder made a log line of the bank recording.
char protocol(const std::string& line)
{
    for (const char* moto : {"SYSAN|", "SITE |", "VCALL|"})
        if (line.rfind(moto, 0) == 0)
            return 'M';
    for (const char* nmt : {"CTIND|", "CORDR|"})
        if (line.rfind(nmt, 0) == 0)
            return 'N';
    return 'P';
}

std::vector<std::string> logLines(const std::vector<std::string>& described)
{
    std::vector<std::string> lines;
    for (const auto& e : described)
        if (e.rfind("ADD_LOGSTR ", 0) == 0)
            lines.push_back(e.substr(11));
    return lines;
}

// The lines of each decoder, apart: within a block the decoders take turns, so only
// each decoder's own sequence is independent of the block size.
std::map<char, std::vector<std::string>> byDecoder(const std::vector<std::string>& lines)
{
    std::map<char, std::vector<std::string>> out;
    for (const auto& l : lines)
        out[protocol(l)].push_back(l);
    return out;
}

// The order in which the decoders' runs of lines come, e.g. "MPN".
std::string runs(const std::vector<std::string>& lines)
{
    std::string o;
    for (const auto& l : lines)
        if (o.empty() || o.back() != protocol(l))
            o += protocol(l);
    return o;
}

TEST(DecoderBank, BlockIsOneTwentiethOfASecondOfSixteenBitSamples)
{
    const struct {
        unsigned rate, bytes, samples;
    } table[] = {
        {48000, 4800, 2400}, {44100, 4410, 2205}, {36000, 3600, 1800}, {24000, 2400, 1200}, {22050, 2205, 1102},
        {21600, 2160, 1080}, {12000, 1200, 600},  {11025, 1102, 551},  {10800, 1080, 540},
    };
    for (const auto& row : table) {
        EXPECT_EQ(DecoderBank::BufferBytes(row.rate), row.bytes) << row.rate;
        EXPECT_EQ(DecoderBank::BlockSamples(row.rate), row.samples) << row.rate;
    }
}

TEST(DecoderBank, EmptyAndOddByteBlocksFeedWholeSamplesOnly)
{
    const int rate = 48000;
    const auto pcm = bankRecording(rate);
    const auto expected = decodeInBlocks(rate, pcm, 1);
    ASSERT_GT(expected.size(), 20u);

    // Each block points at one sample. 1 byte holds no whole sample: nothing may be
    // decoded. 3 bytes hold one sample and a stray byte: the whole recording decodes.
    const struct {
        size_t bytes;
        bool decodes;
    } table[] = {{0, false}, {1, false}, {2, true}, {3, true}};
    for (const auto& row : table) {
        RecordingSink sink;
        DecoderBank bank(&sink, rate, nullptr);
        for (size_t i = 0; i + 1 < pcm.size(); ++i)
            bank.FeedBlock(&pcm[i], row.bytes);
        if (row.decodes)
            EXPECT_EQ(sink.described(), expected) << row.bytes << " bytes";
        else
            EXPECT_TRUE(sink.events().empty()) << row.bytes << " bytes";
    }

    // A capture block with an odd byte count, as a device delivers 22050 Hz.
    RecordingSink sink;
    DecoderBank bank(&sink, 22050, nullptr);
    const auto pcm22 = bankRecording(22050);
    for (size_t i = 0; i < pcm22.size(); i += 1102)
        bank.FeedBlock(&pcm22[i], std::min<size_t>(2205, (pcm22.size() - i) * 2));
    EXPECT_EQ(sink.described(), decodeInBlocks(22050, pcm22, 1102));
}

TEST(DecoderBank, BlockSizeDoesNotChangeWhatEachDecoderFinds)
{
    const int rate = 44100;
    const auto pcm = bankRecording(rate);
    const auto reference = decodeInBlocks(rate, pcm, DecoderBank::BlockSamples(rate));
    const auto expected = byDecoder(logLines(reference));
    ASSERT_EQ(expected.size(), 3u);
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    for (size_t block : {size_t{1}, size_t{7}, size_t{480}, size_t{100000}}) {
        const auto events = decodeInBlocks(rate, pcm, block);
        EXPECT_EQ(byDecoder(logLines(events)), expected) << block;
        EXPECT_EQ(sorted(events), sorted(reference)) << block;
    }
}

TEST(DecoderBank, DecodersTakeEachBlockInTheFixedOrder)
{
    // One block holding the whole recording: every event of the first decoder comes
    // before any event of the next, whatever the order of the traffic in time.
    const int rate = 48000;
    const auto pcm = bankRecording(rate);
    RecordingSink whole;
    DecoderBank bank(&whole, rate, nullptr);
    bank.FeedSamples(pcm.data(), static_cast<unsigned>(pcm.size()));
    const auto lines = whole.lines();
    EXPECT_EQ(runs(lines), "NPM");

    // Block by block, time decides: Motorola, MPT 1327, NMT-450.
    const auto timed = logLines(decodeInBlocks(rate, pcm, DecoderBank::BlockSamples(rate)));
    EXPECT_EQ(runs(timed), "MPN");
    // Each decoder's own lines are the same either way.
    EXPECT_EQ(byDecoder(lines), byDecoder(timed));
    EXPECT_EQ(byDecoder(lines).size(), 3u);
}

TEST(DecoderBank, EveryEventCarriesItsDecoderAndItsBlocksCaptureTime)
{
    // Each block gets a capture time of its own; every event posted while the bank
    // decodes a block must carry that block's time and the protocol of the decoder
    // whose line it is (told apart by the lines' own prefixes).
    const int rate = 48000;
    const auto pcm = bankRecording(rate);
    const size_t block = DecoderBank::BlockSamples(rate);
    const CaptureTime t0 = EventClock::from_time_t(1714600000) + std::chrono::milliseconds(7);
    RecordingSink sink;
    DecoderBank bank(&sink, rate, nullptr);
    std::vector<CaptureTime> fedAt; // the block time of each event, by the test's count
    for (size_t i = 0, n = 0; i < pcm.size(); i += block, ++n) {
        const CaptureTime at = t0 + n * std::chrono::milliseconds(50);
        bank.FeedBlock(&pcm[i], std::min(block, pcm.size() - i) * sizeof(int16_t), at);
        fedAt.resize(sink.events().size(), at);
    }
    const auto events = sink.events();
    ASSERT_FALSE(events.empty());
    const std::map<char, EventProtocol> tag{
        {'M', EventProtocol::Motorola}, {'N', EventProtocol::Nmt450}, {'P', EventProtocol::Mpt1327}};
    std::set<EventProtocol> seen;
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(describe(events[i]));
        EXPECT_TRUE(events[i].origin.time == fedAt[i]);
        EXPECT_NE(events[i].origin.protocol, EventProtocol::None);
        seen.insert(events[i].origin.protocol);
        if (const auto* line = std::get_if<LogText>(&events[i].payload)) {
            EXPECT_EQ(events[i].origin.protocol, tag.at(protocol(*line)));
        }
    }
    EXPECT_EQ(seen.size(), 3u);
}

TEST(DecoderBank, NothingIsDecodedOnceStopped)
{
    const int rate = 48000;
    const auto pcm = bankRecording(rate);
    RecordingSink sink;
    DecoderBank bank(&sink, rate, nullptr);
    feed(bank, std::vector<int16_t>(pcm.begin(), pcm.begin() + static_cast<std::ptrdiff_t>(pcm.size() / 2)), 2400);
    const size_t before = sink.events().size();
    ASSERT_GT(before, 0u);
    bank.Stop();
    feed(bank, pcm, 2400);
    bank.Stop(); // twice is harmless
    EXPECT_EQ(sink.events().size(), before);
}

TEST(DecoderBank, ANewBankStartsEveryDecoderAfresh)
{
    // A bank that has heard half a channel is replaced by one at another rate; the new
    // bank must decode a recording exactly as if it were the first.
    const auto pcm48 = bankRecording(48000);
    const auto pcm441 = bankRecording(44100);
    const auto fresh = decodeInBlocks(44100, pcm441, DecoderBank::BlockSamples(44100));

    RecordingSink sink;
    auto bank = std::make_unique<DecoderBank>(&sink, 48000, nullptr);
    feed(*bank, std::vector<int16_t>(pcm48.begin(), pcm48.begin() + static_cast<std::ptrdiff_t>(pcm48.size() * 2 / 3)),
         2400);
    ASSERT_FALSE(sink.events().empty());
    bank.reset();
    sink.clear();
    bank = std::make_unique<DecoderBank>(&sink, 44100, nullptr);
    feed(*bank, pcm441, DecoderBank::BlockSamples(44100));
    EXPECT_EQ(sink.described(), fresh);
}

TEST(DecoderBank, DecodesAFileOnTheSourcesThreadAndReportsItsEnd)
{
    TempDir dir;
    const int rate = 48000;
    const auto pcm = bankRecording(rate);
    writeWav(dir.file("bank.wav"), pcm, rate);

    RecordingSink sink;
    EndSeen end;
    {
        auto source = std::make_unique<FileSource>(dir.file("bank.wav"), std::nullopt);
        const unsigned fileRate = source->sampleRate();
        DecoderBank bank(&sink, fileRate, std::move(source), end.events());
        ASSERT_TRUE(waitFor("the end of the file", [&] { return end.seen() != "(none)"; }));
        EXPECT_EQ(end.seen(), "(ended without an error)");
    }
    EXPECT_EQ(end.calls, 1);
    EXPECT_EQ(sink.described(), decodeInBlocks(rate, pcm, DecoderBank::BlockSamples(rate)));
    std::set<std::thread::id> threads;
    for (const auto& e : sink.events())
        threads.insert(e.thread);
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(DecoderBank, DestroyedWhileDecodingPostsNothingAfterwards)
{
    TempDir dir;
    const int rate = 48000;
    const auto once = bankRecording(rate);
    std::vector<int16_t> pcm;
    for (int i = 0; i < 30; ++i)
        pcm.insert(pcm.end(), once.begin(), once.end());
    writeWav(dir.file("long.wav"), pcm, rate);

    // Destroyed before it decoded anything, after its first event, and well into the
    // file. Each round's sink is looked at again once the later rounds have run: a
    // source thread that outlived its bank would have gone on posting meanwhile.
    std::vector<std::unique_ptr<RecordingSink>> sinks;
    std::vector<size_t> after;
    for (size_t events : {0, 1, 200}) {
        RecordingSink& sink = *sinks.emplace_back(std::make_unique<RecordingSink>());
        EndSeen end;
        {
            DecoderBank bank(&sink, rate, std::make_unique<FileSource>(dir.file("long.wav"), std::nullopt),
                             end.events());
            ASSERT_TRUE(waitFor(std::to_string(events) + " events", [&] { return sink.events().size() >= events; }));
        }
        after.push_back(sink.events().size());
        EXPECT_EQ(end.calls, 0) << "a stopped source reported an end";
    }
    for (size_t round = 0; round < sinks.size(); ++round)
        EXPECT_EQ(sinks[round]->events().size(), after[round]) << "posted after its bank had gone, round " << round;
}

TEST(DecoderBank, ConstructionErrorsReachTheOwner)
{
    TempDir dir;
    writeWav(dir.file("44k.wav"), bankRecording(44100), 44100);
    RecordingSink sink;

    EXPECT_THROW(DecoderBank(&sink, 48000, std::make_unique<FileSource>(dir.file("44k.wav"), std::nullopt)),
                 AudioSourceError);
    EXPECT_THROW(DecoderBank(&sink, 0, nullptr), std::invalid_argument);
    EXPECT_THROW(DecoderBank(&sink, 1000, nullptr), std::invalid_argument);
    // Whether or not this machine has an audio server, this device does not exist. The
    // failure comes from the construction, or, where PortAudio answers later than the
    // source waits (a loaded machine, sanitizers), as the end of the input.
    EndSeen end;
    try {
        DecoderBank bank(&sink, 48000, std::make_unique<PortAudioSource>("velkor no such device"), end.events());
        ASSERT_TRUE(waitFor(
            "the missing device's failure", [&] { return end.seen() != "(none)"; }, [&] { return end.seen(); }))
            << "opened a device that does not exist";
        EXPECT_NE(end.seen().find("velkor no such device"), std::string::npos) << end.seen();
    } catch (const AudioSourceError& e) {
        EXPECT_NE(std::string(e.what()).find("velkor no such device"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(sink.events().empty());
}

} // namespace

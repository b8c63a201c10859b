// The call recorder on real files: the names, the audio as libsndfile reads it back,
// the JSON beside it, short calls, a folder in the way, a full queue, old day folders.
#include "record/CallRecorder.h"
#include "fixtures/CollectingNotices.h"
#include "fixtures/ScratchFixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>

using namespace velkor;
namespace fs = std::filesystem;

namespace {

// 2026-12-09 14:22:33.250 UTC.
const auto kStart = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796826153250));

class CallRecorderTest : public ScratchFixture {
protected:
    void SetUp() override
    {
        ScratchFixture::SetUp();
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    std::unique_ptr<CallRecorder> make(record_options_s o = {})
    {
        o.dir = (dir / "rec").string();
        return std::make_unique<CallRecorder>(
            o, notices, [this](const record_result_s& r) { results.push_back(r); }, [] { return kStart; });
    }
    // One call of `seconds` of a ramp at 8000 Hz, fed in 400-sample blocks.
    static void recordCall(CallRecorder& rec, double seconds)
    {
        rec.begin({EventProtocol::Mpt1327, {{70, 5, 100}, "Dispatch"}, {{70, 5, 200}, ""}, "", 17, 169200000.0, 8000});
        std::vector<int16_t> block(400);
        for (size_t done = 0; done < static_cast<size_t>(seconds * 8000); done += block.size()) {
            for (size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<int16_t>((done + i) % 1000);
            rec.feed(block.data(), block.size());
        }
        rec.end(CallEnd::Cleardown);
    }
    CollectingNotices notices;
    std::vector<record_result_s> results;
};

TEST_F(CallRecorderTest, WritesTheAudioAndItsJsonUnderTheDayAndStartTime)
{
    auto rec = make();
    recordCall(*rec, 2.0);
    rec->close();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].kept);
    EXPECT_EQ(results[0].audio, "2026-12-09/142233-70-5-100.flac");
    const fs::path audio = dir / "rec/2026-12-09/142233-70-5-100.flac";
    SF_INFO info{};
    SNDFILE* f = sf_open(audio.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<int16_t> back(20000);
    EXPECT_EQ(sf_read_short(f, back.data(), 20000), 16000);
    sf_close(f);
    EXPECT_EQ(info.samplerate, 8000);
    EXPECT_EQ(back[999], 999);
    EXPECT_EQ(back[1000], 0);

    const std::string json =
        R"({"freq":169200000,"start_time":1796826153,"stop_time":1796826155,"call_length":2.0,"talkgroup":100,)"
        R"("talkgroup_tag":"Dispatch","audio_type":"analog","start":"2026-12-09T14:22:33.250Z",)"
        R"("stop":"2026-12-09T14:22:35.250Z","protocol":"mpt1327","system":70,)"
        R"("target":{"system":70,"fleet":5,"unit":100,"name":"Dispatch"},)"
        R"("origin":{"system":70,"fleet":5,"unit":200,"name":""},"channel":17,"ended":"cleardown",)"
        R"("audio":"142233-70-5-100.flac"})";
    EXPECT_EQ(readFile((dir / "rec/2026-12-09/142233-70-5-100.json").string()), json + "\n");
    EXPECT_EQ(results[0].json, json);
    EXPECT_TRUE(notices.notes.empty());
}

TEST_F(CallRecorderTest, NamesThatExistGetANumberAndShortCallsAreNotKept)
{
    record_options_s o;
    o.format = RecordFormat::Wav;
    auto rec = make(o);
    recordCall(*rec, 1.5);
    recordCall(*rec, 0.5); // under min_seconds
    recordCall(*rec, 1.0);
    recordCall(*rec, 1.0);
    rec->close();
    ASSERT_EQ(results.size(), 4u);
    const std::vector<std::string> audio = {"2026-12-09/142233-70-5-100.wav", "", "2026-12-09/142233-70-5-100-2.wav",
                                            "2026-12-09/142233-70-5-100-3.wav"};
    for (size_t i = 0; i < audio.size(); ++i) {
        EXPECT_EQ(results[i].kept, !audio[i].empty()) << i;
        EXPECT_EQ(results[i].audio, audio[i]) << i;
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir / "rec/2026-12-09"))
        ++files;
    EXPECT_EQ(files, 6u); // three calls, each audio and JSON, no .part left
}

TEST_F(CallRecorderTest, AFolderThatCannotBeWrittenCostsThatCallOnly)
{
    auto rec = make();
    writeFile((dir / "rec/2026-12-09").string(), "a file where the day's folder goes");
    recordCall(*rec, 1.5);
    rec->close();
    fs::remove(dir / "rec/2026-12-09");
    rec = make();
    recordCall(*rec, 1.5);
    rec->close();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[0].kept);
    EXPECT_TRUE(results[1].kept);
    ASSERT_EQ(notices.notes.size(), 1u);
    EXPECT_EQ(notices.notes[0].rfind("Recording of the call dropped: cannot create ", 0), 0u) << notices.notes[0];
}

TEST_F(CallRecorderTest, AFullQueueDropsAndCountsInsteadOfWaiting)
{
    record_options_s o;
    o.queueSamples = 300;
    auto rec = make(o);
    recordCall(*rec, 1.0);
    EXPECT_EQ(rec->droppedBlocks(), 20u);
}

TEST_F(CallRecorderTest, KeepDaysRemovesOnlyOldDayFolders)
{
    for (const char* d : {"2026-12-01", "2026-12-07", "2026-12-08", "2026-12-09", "notes", "2026-12-01x"})
        fs::create_directories(dir / "rec" / d);
    writeFile((dir / "rec/2026-11-30").string(), "a file, not a day folder");
    record_options_s o;
    o.keepDays = 1;
    make(o)->close();
    for (const char* d : {"2026-12-08", "2026-12-09", "notes", "2026-12-01x", "2026-11-30"})
        EXPECT_TRUE(fs::exists(dir / "rec" / d)) << d;
    for (const char* d : {"2026-12-01", "2026-12-07"})
        EXPECT_FALSE(fs::exists(dir / "rec" / d)) << d;
}

TEST(RecordFormat, ChoicesAndRates)
{
    const struct {
        const char* name;
        unsigned rate;
        const char* error; // empty: usable
    } cases[] = {
        {"flac", 44100, ""},
        {"wav", 11025, ""},
        {"opus", 48000, ""},
        {"opus", 44100,
         "opus cannot record audio captured at 44100 Hz (only 8000, 12000, 16000, 24000 or 48000 Hz): use flac or wav"},
        {"mp3", 48000, "unknown recording format \"mp3\" (flac, wav or opus)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto format = parseRecordFormat(c.name);
        const velkor::Status usable = format ? checkRecordFormat(*format, c.rate) : velkor::fail(format.error());
        EXPECT_EQ(usable ? std::string() : usable.error(), c.error);
    }
}

} // namespace

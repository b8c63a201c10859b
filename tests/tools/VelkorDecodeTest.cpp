// velkor-decode as a user runs it: the bundled demo, other encodings of the same
// audio, standard input, and every kind of bad input.
#include "signal/Audio.h"
#include "signal/CallScenario.h"
#include "signal/DemoScenario.h"
#include "tools/ToolRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <sstream>

using namespace testsignal;

namespace {

const std::string kTool = VELKOR_DECODE_PATH;

std::string demoWav()
{
    return sourceDir() + "/samples/demo.wav";
}
std::string demoLog()
{
    return readFile(sourceDir() + "/samples/demo.log");
}

std::vector<int16_t> readPcm(const std::string& path, int* rate)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    std::vector<int16_t> pcm(static_cast<size_t>(info.frames * info.channels));
    sf_read_short(f, pcm.data(), static_cast<sf_count_t>(pcm.size()));
    sf_close(f);
    *rate = info.samplerate;
    return pcm;
}

void writeAs(const std::string& path, const std::vector<int16_t>& pcm, int rate, int format, int channels = 1)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_write_short(f, pcm.data(), static_cast<sf_count_t>(pcm.size()));
    sf_close(f);
}

// Each test has a scratch directory and the demo recording's samples.
class VelkorDecode : public ::testing::Test {
protected:
    TempDir dir;
    int rate = 0;
    const std::vector<int16_t> pcm = readPcm(demoWav(), &rate);

    // Decoding input that holds the demo recording.
    static void expectDemoLog(const std::vector<std::string>& args, const std::string& input = {})
    {
        const auto r = runTool(kTool, args, input);
        EXPECT_EQ(r.status, 0) << args.back() << ": " << r.err;
        EXPECT_EQ(r.out, demoLog()) << args.back();
    }
};

TEST_F(VelkorDecode, DemoRecordingGivesItsExpectedLog)
{
    const auto r = runTool(kTool, {demoWav()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, demoLog());
    EXPECT_EQ(r.err, "");
}

TEST_F(VelkorDecode, StandardInputAsWavAndAsRaw)
{
    expectDemoLog({"-"}, demoWav());
    writeFile(dir.file("demo.raw"), std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2));
    expectDemoLog({"--rate", std::to_string(rate)}, dir.file("demo.raw"));
}

TEST_F(VelkorDecode, AWavFileWithRateIsDecodedByItsHeaderWithAWarning)
{
    const auto r = runTool(kTool, {"--rate", "8000", demoWav()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, demoLog());
    EXPECT_NE(r.err.find("is a WAV file; decoding it at its header's rate of 48000 Hz, not --rate 8000"),
              std::string::npos)
        << r.err;
}

TEST_F(VelkorDecode, OtherSampleFormatsDecodeLikeTheSixteenBitWav)
{
    const std::pair<const char*, int> formats[] = {
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},           {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},        {"demo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16},
    };
    for (const auto& [name, format] : formats) {
        writeAs(dir.file(name), pcm, rate, format);
        expectDemoLog({dir.file(name)});
    }
}

TEST_F(VelkorDecode, AnMp3WhoseLengthIsAnEstimateIsNoTruncatedFile)
{
    // Without its Xing/Info frame (as many encoders write it) an MP3's length is
    // estimated from its bit rate, and the estimate is rarely the real length.
    // Of a long one it estimates from the first frame's bit rate: a quiet start (a
    // scanner's squelch still closed), then a minute of traffic.
    FfskOptions options;
    options.rate = 11025;
    const auto traffic = toPcm16(ffsk(mptgen::demoControlChannel().bits, options));
    std::vector<int16_t> pcm(static_cast<size_t>(options.rate) * 5, 0);
    while (pcm.size() < static_cast<size_t>(options.rate) * 65)
        pcm.insert(pcm.end(), traffic.begin(), traffic.end());
    writeAs(dir.file("tagged.mp3"), pcm, options.rate, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
    std::string mp3 = readFile(dir.file("tagged.mp3"));
    const size_t tag = std::min(mp3.find("Xing"), mp3.find("Info"));
    ASSERT_LT(tag, 64u) << "the encoder wrote no length frame";
    size_t next = tag;
    while ((next = mp3.find('\xFF', next + 1)) != std::string::npos && next + 1 < mp3.size() &&
           (static_cast<unsigned char>(mp3[next + 1]) & 0xE0) != 0xE0) { }
    ASSERT_NE(next, std::string::npos);
    writeFile(dir.file("untagged.mp3"), mp3.substr(next));
    const auto r = runTool(kTool, {dir.file("untagged.mp3")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("truncated"), std::string::npos) << r.err;
    EXPECT_NE(r.out, "");
}

std::vector<nlohmann::json> jsonLines(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    std::vector<nlohmann::json> events;
    while (std::getline(lines, line))
        events.push_back(nlohmann::json::parse(line));
    return events;
}

// Milliseconds since the epoch of an event time "2024-05-01T12:34:56.789Z", read here
// by hand rather than with the program's own parser.
int64_t epochMs(const std::string& iso)
{
    std::tm tm{};
    int ms = 0;
    EXPECT_EQ(std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                          &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ms),
              7)
        << iso;
    EXPECT_EQ(iso.size(), 24u) << iso;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return static_cast<int64_t>(timegm(&tm)) * 1000 + ms;
}

TEST_F(VelkorDecode, EventsAreJsonObjectsInPostingOrder)
{
    const auto r = runTool(kTool, {"--events", demoWav()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<nlohmann::json> events = jsonLines(r.out);
    // Every event says when and by which decoder it was made; the rest of each object
    // is what it always was.
    for (auto& e : events) {
        EXPECT_TRUE(e["time"].is_string()) << e;
        EXPECT_EQ(e["protocol"], "mpt1327") << e;
        e.erase("time");
        e.erase("protocol");
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), nlohmann::json::parse(R"({"cmd":"MUTE"})"));
    EXPECT_EQ(events[1], nlohmann::json::parse(R"({"cmd":"REPORT_SYSTEM","system":1,"fleet":0,"unit":0})"));
    EXPECT_EQ(events.back(), nlohmann::json::parse(R"({"cmd":"UNMUTE"})"));

    size_t texts = 0;
    bool call = false;
    bool clear = false;
    for (const auto& e : events) {
        if (e["cmd"] == "ADD_LOGSTR")
            ++texts;
        if (e["cmd"] == "REPORT_CALL" && !call) {
            call = true;
            EXPECT_EQ(e, nlohmann::json::parse(R"({"cmd":"REPORT_CALL","type":0,
                "target":{"system":1,"fleet":1,"unit":100},"origin":{"system":1,"fleet":1,"unit":200},
                "control_channel":1,"channel":17})"));
        }
        if (e["cmd"] == "CLEAR_CALL") {
            clear = true;
            EXPECT_EQ(e["control_channel"], 1);
            EXPECT_EQ(e["channel"], 17);
        }
    }
    EXPECT_TRUE(call);
    EXPECT_TRUE(clear);
    EXPECT_EQ(texts, 24u);
}

TEST_F(VelkorDecode, EventTimesAreTheirPlaceInTheFile)
{
    // Call s's event must be stamped with the start time plus the place where its
    // codeword ends, to within one block (50 ms). The start time is --start-time, or
    // else the file's modification time less its length.
    const auto rec = callRecording(12, 1.3);
    writeWav(dir.file("calls.wav"), rec.pcm, rec.rate);
    const double length = static_cast<double>(rec.pcm.size()) / rec.rate;
    const int64_t modified = 1714607998; // 2024-05-01T23:59:58Z
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("calls.wav").c_str(), times, 0), 0);
    const struct {
        std::vector<std::string> args;
        double startMs;
    } cases[] = {
        {{"--start-time", "2024-05-01T23:59:58.250Z"}, 1714607998250.0},
        {{"--start-time", "2024-05-02T01:59:58.250+02:00"}, 1714607998250.0},
        {{}, modified * 1000.0 - length * 1000.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("file time") : c.args[1]);
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--events");
        args.push_back(dir.file("calls.wav"));
        const auto r = runTool(kTool, args);
        ASSERT_EQ(r.status, 0) << r.err;
        size_t calls = 0;
        for (const auto& e : jsonLines(r.out)) {
            if (e["cmd"] != "REPORT_CALL")
                continue;
            const size_t slot = e["channel"].get<size_t>() - 1;
            ASSERT_LT(slot, rec.callEnds.size());
            EXPECT_EQ(slot, calls++) << "calls out of order";
            const double expected = c.startMs + rec.callEnds[slot] * 1000.0;
            EXPECT_LE(std::abs(static_cast<double>(epochMs(e["time"])) - expected), 50.0)
                << e["time"] << " for call " << slot;
        }
        EXPECT_EQ(calls, rec.callEnds.size());
    }
}

TEST_F(VelkorDecode, BadInputIsRefusedWithAClearMessage)
{
    writeAs(dir.file("stereo.wav"), pcm, rate, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2);
    writeFile(dir.file("notes.txt"), "These are not samples.\nJust text.\n");
    const std::string wav = readFile(demoWav());
    writeFile(dir.file("truncated.wav"), wav.substr(0, wav.size() / 2));
    writeFile(dir.file("header-only.wav"), wav.substr(0, 30));
    writeFile(dir.file("raw.pcm"), std::string(reinterpret_cast<const char*>(pcm.data()), 20000));

    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{dir.file("stereo.wav")}, "has 2 channels; pick the one to decode with --channel N (1 to 2)"},
        {{"--channel", "3", dir.file("stereo.wav")}, "--channel N takes N from 1 to 2"},
        {{"--channel", "2", demoWav()}, "has 1 channel; there is no channel 2"},
        {{"--channel", "0", demoWav()}, "--channel"},
        {{"--rate", "1000", dir.file("raw.pcm")}, "--rate"},
        {{"--capture", demoWav()}, "excludes"},
        {{"--device", "default", demoWav()}, "--capture"},
        {{dir.file("notes.txt")}, "cannot read audio"},
        {{dir.file("truncated.wav")}, "truncated"},
        {{dir.file("header-only.wav")}, "cannot read audio"},
        {{dir.file("raw.pcm")}, "--rate"},
        {{dir.file("missing.wav")}, "no such file"},
        {{dir.path()}, "directory"},
        {{"--rate", "0", dir.file("raw.pcm")}, "--rate"},
        {{"--rate", "abc", dir.file("raw.pcm")}, "--rate: 'abc' is not a number"},
        {{"--rate", "8000.5", dir.file("raw.pcm")}, "--rate: '8000.5' is not a whole number"},
        {{"--rate", "192001", dir.file("raw.pcm")}, "--rate"},
        {{"--channel", "x", demoWav()}, "--channel: 'x' is not a number"},
        {{"--bogus", demoWav()}, "bogus"},
        {{"--start-time", "yesterday", demoWav()}, "--start-time: \"yesterday\" is no time"},
        {{"--start-time", "2024-02-30T10:00:00Z", demoWav()}, "is no valid date"},
        {{"--capture", "--start-time", "2024-05-01T10:00:00Z"}, "excludes"},
        {{"--mqtt", "localhost:99999", demoWav()}, "--mqtt: \"99999\" is no port"},
        {{"--mqtt", ":1883", demoWav()}, "names no broker host"},
        {{"--mqtt", "::1", demoWav()}, "in brackets"},
        {{"--mqtt-topic", "x", demoWav()}, "--mqtt"},
        {{"--mqtt", "127.0.0.1", "--mqtt-topic", "a/#", demoWav()}, "is no topic"},
        {{"--mqtt", "127.0.0.1", "--mqtt-user", "u", "--mqtt-password-file", dir.file("missing.pw"), demoWav()},
         "cannot read the password file"},
        {{"--mqtt", "127.0.0.1", "--mqtt-password-file", dir.file("notes.txt"), demoWav()}, "needs a user name"},
        {{"--mqtt", "127.0.0.1", "--mqtt-cafile", dir.file("missing.pem"), demoWav()}, "TLS files"},
        {{"--mqtt", "127.0.0.1", "--mqtt-cert", dir.file("notes.txt"), demoWav()}, "needs its key"},
    };
    for (const auto& c : cases) {
        const auto r = runTool(kTool, c.args);
        EXPECT_EQ(r.status, 2) << c.args.back();
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args.back() << " said: " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST_F(VelkorDecode, ChannelPicksOneChannelOfAMultiChannelFile)
{
    // Three channels: silence, the demo, the demo upside down (which decodes to
    // nothing useful, or to other lines).
    std::vector<int16_t> frames;
    for (int16_t s : pcm) {
        frames.push_back(0);
        frames.push_back(s);
        frames.push_back(static_cast<int16_t>(-std::max<int>(s, -32767)));
    }
    writeAs(dir.file("three.wav"), frames, rate, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3);
    writeAs(dir.file("three.flac"), frames, rate, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 3);
    for (const char* name : {"three.wav", "three.flac"}) {
        expectDemoLog({"--channel", "2", dir.file(name)});
        const auto r = runTool(kTool, {"--channel", "1", dir.file(name)});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "") << name;
    }
    expectDemoLog({"--channel", "2", "-"}, dir.file("three.wav")); // standard input too
}

TEST_F(VelkorDecode, TruncatedInputKeepsWhatWasDecodedAndFails)
{
    // A FLAC stream cut short: what came before the cut is printed, then one message.
    writeAs(dir.file("demo.flac"), pcm, rate, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string flac = readFile(dir.file("demo.flac"));
    writeFile(dir.file("cut.flac"), flac.substr(0, flac.size() * 3 / 4));
    const auto r = runTool(kTool, {dir.file("cut.flac")});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("cut.flac"), std::string::npos) << r.err;
    EXPECT_EQ(demoLog().rfind(r.out, 0), 0u) << "printed lines are not the start of the log: " << r.out;
}

} // namespace

#include "profile/ProfileFile.h"
#include "fixtures/ScratchFixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velkor;

namespace fs = std::filesystem;

namespace {

class ProfileFileTest : public ScratchFixture {
protected:
    size_t fileCount() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
};

struct IntCase {
    const char* line; // nullptr: key missing
    int32_t def;
    int32_t expected;
};

TEST(ProfileFileInt, ReadsTheLeadingDecimalNumberAsWindowsDoes)
{
    const IntCase cases[] = {
        {"v=2", 7, 2},
        {"v=1", 7, 1},
        {"v=0", 7, 0},
        {"v=-1", 7, -1},
        {"v= 12abc", 7, 12},
        {"v=+5", 7, 5},
        {"v=abc", 7, 0},
        {"v=", 7, 7},           // empty value: the default
        {"v", 7, 7},            // no '=' at all
        {nullptr, 7, 7},        // key missing
        {"v=4294967297", 7, 1}, // wraps modulo 2^32
        {"v=42A94967297", 7, 42},
        {"v=  48000  ", 7, 48000},
        {"v=0x10", 7, 0},
    };
    for (const IntCase& c : cases) {
        const std::string text = std::string("[s]\n") + (c.line ? c.line : "other=1") + "\n";
        const ProfileFile profile = ProfileFile::parse(text);
        EXPECT_EQ(profile.getInt("s", "v", c.def), c.expected) << (c.line ? c.line : "(missing)");
    }
    EXPECT_EQ(ProfileFile::parse("[s]\nv=-1\n").getUInt("s", "v", 0), 4294967295u);
    EXPECT_EQ(ProfileFile().getInt("s", "v", 48000), 48000);
}

TEST(ProfileFileParse, NamesAreCaseInsensitiveAndFirstDuplicateWins)
{
    const ProfileFile profile = ProfileFile::parse("[Audio]\nSampleRate=44100\nsamplerate=8000\n"
                                                   "[TRACKING]\nMemory = 12 \n[audio]\nmute=0\n");
    EXPECT_EQ(profile.getInt("audio", "SAMPLERATE", 0), 44100);
    EXPECT_EQ(profile.getString("tracking", "memory"), "12");
    // The first [audio] wins, so the later section's key is not seen.
    EXPECT_EQ(profile.getInt("AUDIO", "mute", 1), 1);
    EXPECT_EQ(profile.sections(), (std::vector<std::string>{"Audio", "TRACKING"}));
    EXPECT_EQ(profile.keys("AUDIO"), (std::vector<std::string>{"SampleRate"}));
    EXPECT_TRUE(profile.keys("none").empty());
}

TEST(ProfileFileParse, CommentsBlankLinesAndLeadingKeys)
{
    const ProfileFile profile = ProfileFile::parse("top=1\n; a comment\n\n[s]\n;k=9\nk=3\n[broken\n");
    EXPECT_EQ(profile.getInt("", "top", 0), 1);
    EXPECT_EQ(profile.getInt("s", "k", 0), 3);
    EXPECT_EQ(profile.keys("s"), (std::vector<std::string>{"k", "[broken"}));
    EXPECT_EQ(profile.sections(), (std::vector<std::string>{"s"}));
}

TEST_F(ProfileFileTest, CrlfFileReadsAndKeepsItsLineEnds)
{
    const std::string p = path("crlf.ini");
    writeFile(p, "[audio]\r\nsamplerate=22050\r\nmute=0\r\n");
    ProfileFile profile = ProfileFile::load(p).value();
    EXPECT_TRUE(profile.existed());
    EXPECT_EQ(profile.getInt("audio", "samplerate", 0), 22050);
    EXPECT_EQ(profile.getString("audio", "mute"), "0");
    profile.setString("audio", "mute", "1");
    ASSERT_TRUE(profile.save(p).ok());
    EXPECT_EQ(readFile(p), "[audio]\r\nsamplerate=22050\r\nmute=1\r\n");
}

TEST_F(ProfileFileTest, WritesCreateFileSectionAndKeyAndReadBack)
{
    const std::string p = path("new.ini");
    ProfileFile profile = ProfileFile::load(p).value();
    EXPECT_FALSE(profile.existed());
    profile.setString("audio", "samplerate", "48000");
    profile.setString("tracking", "memory", "12");
    profile.setString("Audio", "MUTE", "1");
    ASSERT_TRUE(profile.save(p).ok());
    EXPECT_EQ(readFile(p), "[audio]\nsamplerate=48000\nMUTE=1\n[tracking]\nmemory=12\n");

    const ProfileFile back = ProfileFile::load(p).value();
    EXPECT_EQ(back.getInt("audio", "samplerate", 0), 48000);
    EXPECT_EQ(back.getInt("audio", "mute", 0), 1);
    EXPECT_EQ(back.getInt("tracking", "memory", 0), 12);
}

TEST_F(ProfileFileTest, ReplacingAKeyKeepsEveryOtherLineAsItWas)
{
    const std::string p = path("edit.ini");
    writeFile(p,
              "; velkor settings\n[audio]\nsamplerate = 44100\n\n[tracking]\n  Memory=5  "
              "\nfollow_calls=1\n\n[systems]\nsysBase_1=4500000\n");
    ProfileFile profile = ProfileFile::load(p).value();
    profile.setString("tracking", "memory", "7");
    profile.setString("audio", "mute", "0"); // new key goes after the last key, before the blank line
    ASSERT_TRUE(profile.save(p).ok());
    EXPECT_EQ(readFile(p),
              "; velkor settings\n[audio]\nsamplerate = "
              "44100\nmute=0\n\n[tracking]\nMemory=7\nfollow_calls=1\n\n[systems]\nsysBase_1=4500000\n");
}

TEST_F(ProfileFileTest, EightBitBytesSurviveAWholeFileRoundTrip)
{
    const std::string p = path("addrbook.ini");
    const std::string name = "S\xF8ren \x80 \"quoted\"";
    ProfileFile out;
    out.setString("12", "sysName", name);
    out.setString("12", "sysComment", "");
    out.setString("12", "numberOfFleets", "1");
    out.setString("12", "fleet0-Name", "multi\nline\rtext");
    ASSERT_TRUE(out.save(p).ok());

    const ProfileFile in = ProfileFile::load(p).value();
    EXPECT_EQ(in.getString("12", "sysName"), name);
    EXPECT_EQ(in.get("12", "sysComment"), std::optional<std::string>(""));
    EXPECT_EQ(in.getString("12", "fleet0-Name"), "multi line text");
    EXPECT_EQ(in.keys("12"), (std::vector<std::string>{"sysName", "sysComment", "numberOfFleets", "fleet0-Name"}));
}

TEST(ProfileFileSet, RefusesNamesThatCannotBeWritten)
{
    ProfileFile profile;
    EXPECT_THROW(profile.setString("a\rb", "k", "v"), std::invalid_argument);
    EXPECT_THROW(profile.setString("s", "k=1", "v"), std::invalid_argument);
    EXPECT_THROW(profile.setString("s", "", "v"), std::invalid_argument);
    EXPECT_THROW(profile.setString("s", "a\nb", "v"), std::invalid_argument);
    EXPECT_EQ(profile.text(), "");
}

// A header is read up to its last ']', so a name holding one (found in a file) writes
// back and reads again as the same section.
TEST(ProfileFileSet, SectionNameWithBracketRoundTrips)
{
    const ProfileFile read = ProfileFile::parse("[a]b]\nk=1\n");
    ASSERT_EQ(read.sections(), std::vector<std::string>{"a]b"});
    ProfileFile written;
    written.setString("a]b", "k", "1");
    EXPECT_EQ(written.text(), "[a]b]\nk=1\n");
    EXPECT_EQ(ProfileFile::parse(written.text()).getInt("a]b", "k", 0), 1);
}

// Damaged files: whatever is read writes back and reads again as the same values.
TEST(ProfileFileParse, DamageReadsAsItWritesBack)
{
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::string value;
    } cases[] = {
        {"[s]\nk=a\0b\n"s, "a b"}, {"[s]\nk=ab\0\n"s, "ab"}, {"[s]\nk=ab\r\r\n"s, "ab"},
        {"[s]\nk=a\rb\n"s, "a b"}, {"[s]\nk=ab\r\r"s, "ab"},
    };
    for (const auto& c : cases) {
        const ProfileFile read = ProfileFile::parse(c.text);
        EXPECT_EQ(read.getString("s", "k"), c.value);
        ProfileFile written = read;
        written.setString("s", "k", read.getString("s", "k"));
        EXPECT_EQ(ProfileFile::parse(written.text()).getString("s", "k"), c.value);
        EXPECT_EQ(ProfileFile::parse(read.text()).text(), read.text());
    }
}

TEST(ProfileFileSet, RemovesKeysAndSections)
{
    ProfileFile profile = ProfileFile::parse("[a]\nx=1\ny=2\n[b]\nz=3\n[A]\nw=4\n");
    EXPECT_TRUE(profile.removeKey("A", "X"));
    EXPECT_FALSE(profile.removeKey("a", "x"));
    EXPECT_EQ(profile.getInt("a", "y", 0), 2);
    EXPECT_TRUE(profile.removeSection("a"));
    EXPECT_EQ(profile.text(), "[b]\nz=3\n");
}

TEST_F(ProfileFileTest, UnreadableFileIsAnErrorNotAnEmptyProfile)
{
    fs::create_directory(path("dir.ini"));
    const auto dir = ProfileFile::load(path("dir.ini"));
    ASSERT_FALSE(dir.ok());
    EXPECT_EQ(dir.error(), "Cannot read " + path("dir.ini") + ": Is a directory");
    EXPECT_FALSE(ProfileFile::load(path("missing/velkor.ini"))->existed());
}

TEST_F(ProfileFileTest, FailedWriteLeavesTheOldFileIntactAndNoTemporary)
{
    const std::string p = path("velkor.ini");
    const std::string old = "[audio]\nsamplerate=44100\n";
    writeFile(p, old);

    ProfileFile big = ProfileFile::load(p).value();
    big.setString("audio", "samplerate", std::string(4000, '9'));

    // A file size limit makes the write of the new file fail part-way, as a full
    // disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const velkor::Status full = big.save(p);
    EXPECT_EQ(full.error(), "Cannot write " + p + ": File too large");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);

    EXPECT_EQ(readFile(p), old);
    EXPECT_EQ(fileCount(), 1u);

    EXPECT_FALSE(big.save(path("no/such/dir/velkor.ini")).ok());
    EXPECT_EQ(fileCount(), 1u);
}

TEST_F(ProfileFileTest, SaveKeepsPermissionsAndFollowsSymbolicLinks)
{
    const std::string real = path("real.ini");
    const std::string link = path("link.ini");
    writeFile(real, "[a]\nk=1\n");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink(real, link);

    ProfileFile profile = ProfileFile::load(link).value();
    profile.setString("a", "k", "2");
    ASSERT_TRUE(profile.save(link).ok());

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(real), "[a]\nk=2\n");
    struct stat st { };
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

} // namespace

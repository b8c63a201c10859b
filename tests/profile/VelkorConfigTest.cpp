#include "profile/VelkorConfig.h"

#include "fixtures/ScratchFixture.h"

#include <gtest/gtest.h>

using namespace velkor;

namespace {

TEST(VelkorConfig, NoFileGivesEveryDefault)
{
    const velkor_settings_s s = VelkorConfig(ProfileFile()).settings();
    EXPECT_EQ(s.samplerate, 48000u);
    EXPECT_TRUE(s.mute);
    EXPECT_EQ(s.receiver_type, 0u);
    EXPECT_EQ(s.comport, 0u);
    EXPECT_EQ(s.memory, 0u);
    EXPECT_TRUE(s.follow_calls);
    EXPECT_FALSE(s.scan_on_clear);
    EXPECT_TRUE(s.auto_add);
    EXPECT_FALSE(s.backlight);
    EXPECT_FALSE(s.return_to_cc);

    const velkor_channel_plan_s plan = VelkorConfig(ProfileFile()).channelPlan(7);
    EXPECT_EQ(plan.base, 4200000u);
    EXPECT_EQ(plan.step, 125u);
    EXPECT_EQ(plan.offset, 0);
}

TEST(VelkorConfig, RigctlServerIsReadAsItStandsWithSdrPlusPlusPortAsDefault)
{
    const struct {
        const char* file;
        const char* server;
    } cases[] = {
        {"", "localhost:4532"},
        {"[rigctl]\nserver=127.0.0.1:7356\n", "127.0.0.1:7356"},
        {"[RIGCTL]\nServer=  [::1]:4532  \n", "[::1]:4532"},
        {"[rigctl]\nserver=\n", ""}, // none: no network receiver
        {"[tracking]\nserver=other:1\n", "localhost:4532"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VelkorConfig(ProfileFile::parse(c.file)).settings().rigctl_server, c.server) << c.file;
}

TEST(VelkorConfig, DeemphasisIsAutoUnlessOnOrOffIsGiven)
{
    using velkor::Deemphasis;
    const struct {
        const char* file;
        Deemphasis mode;
    } cases[] = {
        {"", Deemphasis::Auto},
        {"[audio]\ndeemphasis=on\n", Deemphasis::On},
        {"[Audio]\nDeemphasis= off \n", Deemphasis::Off},
        {"[audio]\ndeemphasis=auto\n", Deemphasis::Auto},
        {"[audio]\ndeemphasis=ON\n", Deemphasis::Auto},
        {"[audio]\ndeemphasis=1\n", Deemphasis::Auto},
        {"[tracking]\ndeemphasis=on\n", Deemphasis::Auto},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VelkorConfig(ProfileFile::parse(c.file)).settings().deemphasis, c.mode) << c.file;
}

TEST(VelkorConfig, ASampleRateWithoutDigitsIsNamedAsTheProblem)
{
    const struct {
        const char* file;
        const char* problem;
    } cases[] = {
        {"", ""},
        {"[audio]\nsamplerate=44100\n", ""},
        {"[audio]\nsamplerate=\n", ""},        // empty: the default
        {"[audio]\nsamplerate=22050Hz\n", ""}, // its leading number, as always
        {"[audio]\nsamplerate=abc\n", "samplerate=abc in [audio] of velkor.ini is not a number"},
        {"[audio]\nsamplerate=-\n", "samplerate=- in [audio] of velkor.ini is not a number"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VelkorConfig(ProfileFile::parse(c.file)).settings().samplerate_problem, c.problem) << c.file;
}

TEST(VelkorConfig, RecordSectionWithItsDefaults)
{
    const struct {
        const char* file;
        const char* dir;
        const char* format;
        uint32_t keepDays;
        double minSeconds;
    } cases[] = {
        {"", "", "flac", 0, 1.0},
        {"[record]\ndir=/srv/calls\nformat=wav\nkeep_days=14\nmin_seconds=2.5\n", "/srv/calls", "wav", 14, 2.5},
        {"[record]\ndir=calls\nformat=\nmin_seconds=0\n", "calls", "flac", 0, 0.0},
        {"[record]\nmin_seconds=soon\n", "", "flac", 0, 1.0},
        {"[record]\nmin_seconds=-3\n", "", "flac", 0, 1.0},
        {"[log]\ndir=logs\n", "", "flac", 0, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const velkor_record_settings_s r = VelkorConfig(ProfileFile::parse(c.file)).recordSettings();
        EXPECT_EQ(r.dir, c.dir);
        EXPECT_EQ(r.format, c.format);
        EXPECT_EQ(r.keepDays, c.keepDays);
        EXPECT_EQ(r.minSeconds, c.minSeconds);
    }
}

TEST(VelkorConfig, FlagsAreOnOnlyWhenExactlyOne)
{
    const struct {
        const char* value;
        bool on;
    } cases[] = {{"1", true},   {"2", false},    {"0", false},
                 {"-1", false}, {" 1abc", true}, {"", true /* empty: default 1 */}};
    for (const auto& c : cases) {
        const VelkorConfig config(ProfileFile::parse(std::string("[audio]\nmute=") + c.value + "\n"));
        EXPECT_EQ(config.settings().mute, c.on) << "mute=" << c.value;
        // The settings dialog reads the raw value and shows any non-zero value checked.
        if (std::string(c.value) == "2") {
            EXPECT_NE(config.profile().getInt(velkor_ini::kAudio, velkor_ini::kMute, 1), 0);
        }
    }
}

TEST(VelkorConfig, ValuesAreTakenAsTheyStand)
{
    const VelkorConfig config(ProfileFile::parse("[AUDIO]\nSampleRate=8000\n[tracking]\nreceiver_type=-1\n"
                                                 "comport=3\nmemory=0012\nscan_on_clear=1\n"
                                                 "[systems]\nsysBase_5=4500000\nsysStep_5=250\nsysOffset_5=70000\n"
                                                 "sysOffset_6=-3\nsysBase_6=-1\n"));
    const velkor_settings_s s = config.settings();
    EXPECT_EQ(s.samplerate, 8000u);
    EXPECT_EQ(s.receiver_type, 4294967295u);
    EXPECT_EQ(s.comport, 3u);
    EXPECT_EQ(s.memory, 12u);
    EXPECT_TRUE(s.scan_on_clear);

    const velkor_channel_plan_s plan5 = config.channelPlan(5);
    EXPECT_EQ(plan5.base, 4500000u);
    EXPECT_EQ(plan5.step, 250u);
    EXPECT_EQ(plan5.offset, 4464); // 70000 - 65536: only the low 16 bits count
    const velkor_channel_plan_s plan6 = config.channelPlan(6);
    EXPECT_EQ(plan6.offset, -3);
    EXPECT_EQ(plan6.base, 4294967295u);
    EXPECT_EQ(plan6.step, 125u);
}

TEST(VelkorConfig, SerialPortsMapToDevicePaths)
{
    const VelkorConfig config(ProfileFile::parse("[Serial]\nCOM1=/dev/ttyUSB0\ncom3=\n"));
    EXPECT_EQ(config.serialDevice(1), "/dev/ttyUSB0");
    EXPECT_EQ(config.serialDevice(2), "/dev/ttyS1");
    EXPECT_EQ(config.serialDevice(3), "/dev/ttyS2");
    EXPECT_EQ(config.serialDevice(4), "/dev/ttyS3");
}

using VelkorConfigInWorkDir = WorkDirFixture;

TEST_F(VelkorConfigInWorkDir, LoadReadsVelkorIniFromTheCurrentDirectory)
{
    writeFile("velkor.ini", "[tracking]\r\ncomport=2\r\nmemory=33\r\n[serial]\r\ncom2=/dev/pts/7\r\n");
    const velkor_settings_s s = VelkorConfig::load()->settings();
    EXPECT_EQ(s.comport, 2u);
    EXPECT_EQ(s.memory, 33u);
    EXPECT_EQ(VelkorConfig::comPortDevice(1).value(), "/dev/ttyS0");
    EXPECT_EQ(VelkorConfig::comPortDevice(2).value(), "/dev/pts/7");
}

TEST(VelkorConfig, PortNumbersThatNameNoDeviceAreRefusedClearly)
{
    for (int64_t number : {int64_t{0}, int64_t{-1}, int64_t{-2147483647 - 1}, int64_t{100000000}}) {
        const auto device = VelkorConfig::comPortDevice(number);
        ASSERT_FALSE(device.ok()) << number;
        EXPECT_EQ(device.error(),
                  "COM port number " + std::to_string(number) + " names no serial device (1 to 8 digits)");
    }
    EXPECT_EQ(VelkorConfig::comPortDevice(99999999).value().rfind("/dev/ttyS", 0), 0u);
}

} // namespace

namespace {

// A bad band plan names its key and value; the decoder gets only the good fixed plans.
TEST(VelkorConfig, BadBandPlansNameTheirKeyAndValue)
{
    const struct {
        std::string line; // KEY=VALUE, which the error starts with
        std::string reason;
    } cases[] = {
        {"sysBandPlan_9=801", "unknown band plan (800-standard, 800-splinter, 800-rebanded, 900 or obt)"},
        {"sysRows_9=451/6.25/380,452/12.5/380", "rows overlap or go backwards at \"452/12.5/380\""},
        {"sysRows_9=451/6.25/500,452/12.5/400", "rows overlap or go backwards at \"452/12.5/400\""},
        {"sysRows_9=451/0/380", "row \"451/0/380\" needs a base and a spacing above 0"},
        {"sysRows_9=451/6.25kHz/380", "row \"451/6.25kHz/380\" holds text that is no number"},
    };
    for (const auto& c : cases) {
        const VelkorConfig config(ProfileFile::parse("[systems]\nsysBandPlan_8=900\n" + c.line + "\n"));
        EXPECT_EQ(config.channelPlan(9).band_error, c.line + ": " + c.reason);
        EXPECT_EQ(config.settings().motorola_plans.count(9), 0u) << c.line; // the decoder keeps its rules
    }
}

// Found by fuzzing: "inf", numbers that overflow before channel 759, and channels too
// far up or too close together to tell apart in a double.
TEST(VelkorConfig, RowsBeyondAnyRadioAreRefused)
{
    const struct {
        std::string row;
        std::string reason;
    } cases[] = {
        {"inf/25/0", "puts channels above 100000 MHz"},
        {"451/inf/0", "puts channels above 100000 MHz"},
        {"1.7e308/1e308/0", "puts channels above 100000 MHz"},
        {"2222222222452222454.0/3026.25/380", "puts channels above 100000 MHz"},
        {"99999/25/700", "puts channels above 100000 MHz"},
        {"451/0.001/0", "needs a spacing of at least 0.01 kHz"},
    };
    for (const auto& c : cases) {
        const VelkorConfig config(ProfileFile::parse("[systems]\nsysRows_9=" + c.row + "\n"));
        EXPECT_EQ(config.channelPlan(9).band_error, "sysRows_9=" + c.row + ": row \"" + c.row + "\" " + c.reason);
    }
    EXPECT_EQ(VelkorConfig(ProfileFile::parse("[systems]\nsysRows_9=99000/0.01/0\n")).channelPlan(9).band_error, "");
}

} // namespace

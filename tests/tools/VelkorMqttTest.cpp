// velkor-decode --mqtt against a real mosquitto broker on 127.0.0.1: every event
// arrives, in order, as --events prints it; the status topic tells a running decoder
// from a killed one; a broker that goes away and comes back loses nothing that was
// queued meanwhile; one that never answers does not hold up the end.
#include "signal/CallScenario.h"
#include "tools/MqttBroker.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <tuple>

using namespace testsignal;
using namespace std::chrono_literals;

namespace {

const std::string kTool = VELKOR_DECODE_PATH;

#define REQUIRE_BROKER(broker)                                                                                         \
    do {                                                                                                               \
        if (!(broker).ready())                                                                                         \
            FAIL() << "no mosquitto broker could be started (Debian packages mosquitto, mosquitto-clients)";           \
    } while (0)

// What the subscriber must have received for the events printed: "velkor/<cmd> JSON".
std::vector<std::string> expectedMessages(const std::vector<std::string>& printed)
{
    std::vector<std::string> out;
    for (const auto& json : printed) {
        const size_t at = json.find("\"cmd\":\"") + 7;
        std::string cmd = json.substr(at, json.find('"', at) - at);
        std::transform(cmd.begin(), cmd.end(), cmd.begin(), [](unsigned char c) { return std::tolower(c); });
        out.push_back("velkor/" + cmd + " " + json);
    }
    return out;
}

// The calls among the events velkor-decode printed.
long reportedCalls(const std::string& out)
{
    const auto lines = splitLines(out);
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.find("\"REPORT_CALL\"") != std::string::npos; });
}

std::vector<std::string> withoutStatus(const std::vector<std::string>& lines)
{
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind("velkor/status ", 0) != 0)
            out.push_back(l);
    return out;
}

// Raw samples written into a FIFO that velkor-decode reads as its input, so that the
// test decides when the audio comes and when it ends.
class AudioPipe {
public:
    explicit AudioPipe(const std::string& path)
        : m_path(path)
    {
        ::mkfifo(path.c_str(), 0600);
        // Never waits for the reader; not inherited, so that the end of our writing is
        // the end of the input for the decoder.
        m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    }
    ~AudioPipe() { close(); }
    void write(const std::vector<int16_t>& pcm, size_t from, size_t to)
    {
        const char* p = reinterpret_cast<const char*>(pcm.data() + from);
        size_t left = (to - from) * sizeof(int16_t);
        while (left > 0) {
            const ssize_t n = ::write(m_fd, p, left);
            if (n <= 0)
                return;
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
};

TEST(VelkorMqtt, EveryEventArrivesInOrderAsEventsPrintsIt)
{
    MqttBroker broker;
    REQUIRE_BROKER(broker);
    MqttSubscriber sub(broker, "velkor/#");
    ASSERT_TRUE(sub.subscribed());
    TempDir dir;
    const auto rec = callRecording(20);
    writeWav(dir.file("calls.wav"), rec.pcm, rec.rate);

    const auto r = runToolWithEnv(
        kTool, {"--events", "--mqtt", broker.address(), "--start-time", "2024-05-01T23:59:58Z", dir.file("calls.wav")},
        {});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto printed = splitLines(r.out);
    EXPECT_EQ(reportedCalls(r.out), 20);
    const auto expected = expectedMessages(printed);
    ASSERT_TRUE(sub.waitForLine("velkor/status offline", 10s)) << "no offline status after the end";
    const auto got = sub.lines();
    EXPECT_EQ(withoutStatus(got), expected);
    // Online before the first event, offline after the last.
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got.front(), "velkor/status online");
    EXPECT_EQ(got.back(), "velkor/status offline");
}

TEST(VelkorMqtt, StatusTurnsOfflineWhenTheDecoderIsKilled)
{
    MqttBroker broker;
    REQUIRE_BROKER(broker);
    MqttSubscriber sub(broker, "velkor/status", "velkor-test-status");
    ASSERT_TRUE(sub.subscribed());
    TempDir dir;
    AudioPipe pipe(dir.file("audio"));
    ToolProcess decode(kTool, {"--rate", "48000", "--mqtt", broker.address(), pipe.path()});
    ASSERT_TRUE(sub.waitForLine("velkor/status online", 10s)) << decode.err();
    decode.signal(SIGKILL);
    EXPECT_EQ(decode.wait(10s), 128 + SIGKILL);
    EXPECT_TRUE(sub.waitForLine("velkor/status offline", 10s));
    // Retained: a dashboard that starts later learns it too.
    MqttSubscriber later(broker, "velkor/status", "velkor-test-later");
    ASSERT_TRUE(later.subscribed());
    EXPECT_TRUE(later.waitForLine("velkor/status offline", 10s));
}

// A broker that never comes: nothing listens on its port, or nothing answers there.
// Either way velkor-decode ends once its few seconds for delivery are over (the
// process runner kills it after 30 s).
enum class Unreachable { Refused, Silent };

class VelkorMqttUnreachable : public ::testing::TestWithParam<Unreachable> { };

TEST_P(VelkorMqttUnreachable, AFullQueueIsBoundedAndSaysHowManyItDropped)
{
    std::string address;
    std::optional<SilentPort> silent;
    if (GetParam() == Unreachable::Refused) {
        MqttBroker broker;
        REQUIRE_BROKER(broker);
        address = broker.address();
    } else {
        silent.emplace();
        ASSERT_TRUE(silent->silent()) << "no port could be made that leaves a connection unanswered";
        address = silent->address();
    }
    TempDir dir;
    const auto rec = callRecording(20);
    writeWav(dir.file("calls.wav"), rec.pcm, rec.rate);
    const auto r =
        runToolWithEnv(kTool, {"--events", "--mqtt", address, "--mqtt-queue", "5", dir.file("calls.wav")}, {});
    const auto printed = splitLines(r.out);
    ASSERT_GT(printed.size(), 20u);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("MQTT: the queue is full (5 events)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("MQTT: " + std::to_string(printed.size() - 5) + " events were dropped"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("MQTT: 5 events could not be delivered"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Brokers, VelkorMqttUnreachable, ::testing::Values(Unreachable::Refused, Unreachable::Silent),
                         [](const auto& info) { return info.param == Unreachable::Refused ? "Refused" : "Silent"; });

// A broker that takes only user "velkor" with password "s3cret": a wrong password or
// user is told as a refused login, naming the options to check; the right one connects.
TEST(VelkorMqtt, AWrongUserOrPasswordIsToldAsARefusedLogin)
{
    MqttBroker broker(std::vector<std::pair<std::string, std::string>>{{"velkor", "s3cret"}});
    REQUIRE_BROKER(broker);
    TempDir dir;
    const auto rec = callRecording(2);
    writeWav(dir.file("calls.wav"), rec.pcm, rec.rate);
    const std::string refused = "MQTT: the broker at " + broker.address() + " refused the login (";
    for (const auto& [user, password, told] :
         {std::tuple<std::string, std::string, std::string>{"velkor", "wrong", refused},
          {"nobody", "s3cret", refused},
          {"velkor", "s3cret", "MQTT: connected to "}}) {
        writeFile(dir.file("pw"), password + "\n");
        const auto r = runToolWithEnv(kTool,
                                      {"--events", "--mqtt", broker.address(), "--mqtt-user", user,
                                       "--mqtt-password-file", dir.file("pw"), dir.file("calls.wav")},
                                      {});
        EXPECT_NE(r.err.find(told), std::string::npos) << user << "/" << password << ": " << r.err;
        EXPECT_EQ(r.err.find("cannot reach the broker"), std::string::npos) << r.err;
    }
}

TEST(VelkorMqtt, BrokerRestartLosesNothingQueuedMeanwhile)
{
    MqttBroker broker;
    REQUIRE_BROKER(broker);
    MqttSubscriber sub(broker, "velkor/#");
    ASSERT_TRUE(sub.subscribed());
    TempDir dir;
    const auto rec = callRecording(30);
    AudioPipe pipe(dir.file("audio"));
    ToolProcess decode(kTool,
                       {"--events", "--rate", std::to_string(rec.rate), "--mqtt", broker.address(), pipe.path()});
    // Samples up to the end of call n.
    auto upTo = [&](size_t n) { return static_cast<size_t>(rec.callEnds[n] * rec.rate) + rec.rate / 10; };

    pipe.write(rec.pcm, 0, upTo(9));
    ASSERT_TRUE(sub.waitFor(
        [&](const std::vector<std::string>& l) {
            return std::count_if(l.begin(), l.end(),
                                 [](const std::string& m) { return m.rfind("velkor/report_call ", 0) == 0; }) == 10;
        },
        20s))
        << decode.err();

    broker.stop();
    ASSERT_TRUE(decode.waitForErr("MQTT: lost the connection", 20s)) << decode.err();
    // Decoding goes on: these calls are printed while the broker is away.
    pipe.write(rec.pcm, upTo(9), upTo(19));
    ASSERT_TRUE(waitFor(
        "20 calls printed while the broker is away", [&] { return reportedCalls(decode.out()) >= 20; },
        [&] { return decode.out() + decode.err(); }));
    ASSERT_EQ(reportedCalls(decode.out()), 20) << decode.err();

    // The events kept meanwhile are velkor's to deliver; the subscriber's own session is
    // the broker's affair. So velkor is held until the subscriber is back, and what
    // it sends then must reach a subscriber that is there to see it.
    decode.signal(SIGSTOP);
    broker.start();
    ASSERT_TRUE(broker.ready());
    const bool subscriberBack = sub.probeReturns(20s);
    decode.signal(SIGCONT);
    ASSERT_TRUE(subscriberBack) << "the subscriber did not come back after the broker restarted";
    pipe.write(rec.pcm, upTo(19), rec.pcm.size());
    pipe.close();
    EXPECT_EQ(decode.wait(60s), 0) << decode.err();
    const auto expected = expectedMessages(splitLines(decode.out()));
    EXPECT_EQ(reportedCalls(decode.out()), 30);
    EXPECT_TRUE(sub.waitForLine("velkor/status offline", 20s));
    EXPECT_EQ(withoutStatus(sub.lines()), expected) << decode.err();
    EXPECT_NE(decode.err().find("MQTT: connected to"), std::string::npos) << decode.err();
}

} // namespace

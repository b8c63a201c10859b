// The Hamlib rigctl receiver against a real rigctld (Hamlib's dummy radio), read back
// with Hamlib's own client; against gqrx where it is installed; and against servers
// that misbehave, where every operation must fail within its time-out and say why.
#include "receiver/RigctlReceiver.h"
#include "DriverFixture.h"
#include "fixtures/CollectingNotices.h"
#include "fixtures/RigctlServers.h"

#include "fixtures/WaitFor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace velkor;

namespace {

using rigtest::FakeRigctl;
using rigtest::Misbehaviour;
using rigtest::Rigctld;

// Long enough for rigctld to answer on a loaded machine under the sanitizers.
constexpr unsigned kTimeoutMs = 2000;
// Short: a faulty server costs it for every operation.
constexpr unsigned kFaultTimeoutMs = 150;

struct Logged {
    CollectingNotices notices;
    const std::vector<std::string>& lines = notices.notes;
    bool has(const std::string& part) const
    {
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
};

class RigctldTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ready()) << server.error(); }
    Rigctld server;
    Logged log;
};

TEST(RigctlServerAddress, HostAndPortOrAClearReason)
{
    const struct {
        const char* text;
        const char* host; // nullptr: refused
        uint16_t port;
    } cases[] = {
        {"localhost:4532", "localhost", 4532},
        {" 127.0.0.1:7356 ", "127.0.0.1", 7356},
        {"[::1]:4532", "::1", 4532},
        {"sdr.example:65535", "sdr.example", 65535},
        {"", nullptr, 0},
        {"localhost", nullptr, 0},
        {"localhost:", nullptr, 0},
        {":4532", nullptr, 0},
        {"localhost:0", nullptr, 0},
        {"localhost:65536", nullptr, 0},
        {"localhost:45x", nullptr, 0},
        {"localhost:-1", nullptr, 0},
        {"::1:4532", nullptr, 0},
        {"[::1]4532", nullptr, 0},
        {"my host:4532", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (!c.host) {
            const auto refused = parseRigctlServer(c.text);
            ASSERT_FALSE(refused.ok());
            EXPECT_FALSE(refused.error().empty());
            continue;
        }
        const rigctl_server_s s = parseRigctlServer(c.text).value();
        EXPECT_EQ(s.host, c.host);
        EXPECT_EQ(s.port, c.port);
    }
}

// Each operation, and what Hamlib's own client reads from the radio afterwards.
TEST_F(RigctldTest, OperationsReachTheRadio)
{
    RigctlReceiver rx(server.address(), log.notices, kTimeoutMs);
    ASSERT_EQ(rx.initialize(), 1);
    EXPECT_EQ(rx.failure(), "");

    ASSERT_EQ(server.rigctl("M AM 6000"), "");
    EXPECT_EQ(rx.setFrequency(162.55, 0), 1);
    EXPECT_EQ(server.frequencyHz(), 162550000);
    EXPECT_EQ(server.rigctl("m"), "AM\n6000\n"); // a wide channel leaves the mode

    EXPECT_EQ(rx.setFrequency(420.0125, 1), 1);
    EXPECT_EQ(server.frequencyHz(), 420012500);
    EXPECT_EQ(server.rigctl("m"), "FM\n12500\n"); // a narrow one: FM, 12.5 kHz passband

    ASSERT_EQ(server.rigctl("F 145237500"), "");
    EXPECT_DOUBLE_EQ(rx.getFrequency(), 145.2375);

    // Letting the receiver go leaves it where it is.
    EXPECT_EQ(rx.setFrequency(0.0, 0), 1);
    EXPECT_EQ(server.frequencyHz(), 145237500);

    // The dummy radio's carrier detect comes and goes at random: either answer will do,
    // as long as it was asked for.
    const int open = rx.isSquelchOpen();
    EXPECT_TRUE(open == 0 || open == 1);
    EXPECT_NE(server.log().find("cmd=get_dcd"), std::string::npos);

    EXPECT_EQ(rx.startScan(), 1);
    EXPECT_EQ(rx.setBacklight(0), 1);
    EXPECT_EQ(rx.setText("Dispatch"), 1);
    EXPECT_EQ(rx.setText2(nullptr), 1);
    EXPECT_EQ(server.tunings(), (std::vector<double>{162.55, 420.0125, 145.2375}));
    EXPECT_TRUE(log.lines.empty()) << log.lines.front();
}

TEST_F(RigctldTest, ReconnectsAtTheNextOperationAfterTheServerRestarted)
{
    RigctlReceiver rx(server.address(), log.notices, kTimeoutMs);
    ASSERT_EQ(rx.setFrequency(420.0125, 1), 1) << rx.failure();
    ASSERT_TRUE(server.restart()) << server.error();
    EXPECT_EQ(rx.setFrequency(420.025, 1), 1);
    EXPECT_EQ(server.frequencyHz(), 420025000);

    // Down: a failure with the reason; up again: the next operation works and says so.
    server.stop();
    EXPECT_EQ(rx.getFrequency(), 0.0);
    EXPECT_TRUE(log.has("Connection refused")) << (log.lines.empty() ? "" : log.lines.back());
    ASSERT_TRUE(server.restart()) << server.error();
    EXPECT_EQ(rx.setFrequency(420.0375, 1), 1);
    EXPECT_EQ(server.frequencyHz(), 420037500);
    EXPECT_TRUE(log.has("answers again."));
}

TEST(RigctlReceiver, AServerThatAcknowledgesAndStaysFailsTheTuning)
{
    FakeRigctl server(Misbehaviour::AcksAndStays);
    Logged log;
    RigctlReceiver rx(server.address(), log.notices, kTimeoutMs);
    EXPECT_EQ(rx.setFrequency(420.0125, 0), 0);
    EXPECT_TRUE(log.has("stayed on 145.000000 MHz")) << (log.lines.empty() ? "" : log.lines.back());
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"F 420012500", "f"}));
}

// rigctld may drop a client's connection as another lets go: the operation connects
// again and is answered all the same.
TEST(RigctlReceiver, AConnectionDroppedBeforeTheAnswerIsMadeAgainWithinTheOperation)
{
    FakeRigctl server(Misbehaviour::HangsUpOnce);
    CollectingNotices notices;
    RigctlReceiver rx(server.address(), notices, kTimeoutMs);
    EXPECT_DOUBLE_EQ(rx.getFrequency(), 145.0) << rx.failure();
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"f", "f"}));
}

// Servers that do not answer as a rigctl server does: every operation that talks to
// the server fails within its one time-out, with a log line that says why.
TEST(RigctlReceiver, MisbehavingServersFailEveryOperationWithinItsTimeOut)
{
    const struct {
        const char* name;
        bool running;
        Misbehaviour how;
        const char* reason;
    } servers[] = {
        {"not running", false, Misbehaviour::Silent, "Connection refused"},
        {"silent", true, Misbehaviour::Silent, "no reply within 150 ms"},
        {"garbage", true, Misbehaviour::Garbage, "unexpected reply \"\\x00\\xFF\\x1B[2J?? \\x7F\""},
        {"endless line", true, Misbehaviour::EndlessLine, "a reply line longer than 4096 bytes"},
        {"hangs up", true, Misbehaviour::HangsUp, "the server closed the connection"},
    };
    const struct {
        const char* name;
        int (*run)(RigctlReceiver&);
    } operations[] = {
        {"setFrequency", [](RigctlReceiver& r) { return r.setFrequency(420.0125, 1); }},
        {"getFrequency", [](RigctlReceiver& r) { return r.getFrequency() == 0.0 ? 0 : 1; }},
        {"isSquelchOpen", [](RigctlReceiver& r) { return r.isSquelchOpen(); }},
        {"startScan", [](RigctlReceiver& r) { return r.startScan(); }},
        {"setBacklight", [](RigctlReceiver& r) { return r.setBacklight(1); }},
        {"initialize", [](RigctlReceiver& r) { return r.initialize() && r.failure().empty() ? 1 : 0; }},
    };
    // One time-out, and room for a loaded machine under the sanitizers.
    const long bound = 2 * kFaultTimeoutMs + 1000;
    for (const auto& s : servers) {
        std::unique_ptr<FakeRigctl> fake = s.running ? std::make_unique<FakeRigctl>(s.how) : nullptr;
        const std::string address = fake ? fake->address() : "127.0.0.1:" + std::to_string(rigtest::freePort());
        for (const auto& op : operations) {
            SCOPED_TRACE(std::string(s.name) + ", " + op.name);
            Logged log;
            RigctlReceiver rx(address, log.notices, kFaultTimeoutMs);
            int result = -1;
            const long ms = elapsedMs([&] { result = op.run(rx); });
            EXPECT_EQ(result, 0);
            EXPECT_LT(ms, bound);
            EXPECT_NE(rx.failure().find(s.reason), std::string::npos) << rx.failure();
            // initialize leaves the line to the program, which names the receiver.
            if (std::string(op.name) != "initialize") {
                EXPECT_TRUE(log.has(std::string("Hamlib rigctl server ") + address + ": ")) << rx.failure();
            }
        }
    }
}

// gqrx knows no "\get_dcd": its squelch is the signal strength against its squelch
// level, both in dBFS.
TEST(RigctlReceiver, GqrxSquelchIsItsSignalStrengthAgainstItsSquelchLevel)
{
    rigtest::Gqrx gqrx;
    if (!gqrx.ready()) {
        if (std::getenv("VELKOR_REQUIRE_GQRX"))
            FAIL() << gqrx.error();
        GTEST_SKIP() << gqrx.error();
    }
    Logged log;
    RigctlReceiver rx(gqrx.address(), log.notices, 5000);
    ASSERT_EQ(rx.initialize(), 1) << rx.failure();
    EXPECT_EQ(rx.setFrequency(420.0125, 1), 1) << rx.failure();
    EXPECT_EQ(gqrx.ask("f"), "420012500");
    EXPECT_EQ(gqrx.ask("m"), "FM");
    EXPECT_DOUBLE_EQ(rx.getFrequency(), 420.0125);

    // Faint noise: the strength is far below the highest squelch level (0 dBFS), and
    // above the lowest (-150 dBFS) once the receiver runs.
    ASSERT_EQ(gqrx.ask("L SQL 0"), "RPRT 0");
    EXPECT_EQ(rx.isSquelchOpen(), 0) << rx.failure();
    EXPECT_TRUE(log.has("reports no squelch state")) << (log.lines.empty() ? "" : log.lines.back());
    ASSERT_EQ(gqrx.ask("U DSP 1"), "RPRT 0");
    ASSERT_EQ(gqrx.ask("L SQL -150"), "RPRT 0");
    EXPECT_TRUE(waitFor(
        "the squelch open", [&] { return rx.isSquelchOpen() == 1; },
        [&] { return "strength " + gqrx.ask("l STRENGTH") + " squelch " + gqrx.ask("l SQL"); }));
    EXPECT_EQ(rx.startScan(), 1); // gqrx cannot scan: nothing happens, successfully
    EXPECT_EQ(rx.setBacklight(2), 1);
    EXPECT_TRUE(log.has("no scanning"));
}

} // namespace

// A server named by a name the resolver looks up, with the time running out before,
// during and after the lookup: each open connects or fails saying why, nothing is
// written into a wait that has returned (the resolver's thread did, when a timed wait
// for it ended just as it finished: found by the fuzzing campaign as a crash without a
// report), and a lookup given its time afterwards connects.
TEST(RigctlLink, NameLookupsWhoseTimeRunsOutMidwayFailCleanlyAndLeaveTheNextOneWorking)
{
    FakeRigctl server(Misbehaviour::Silent);
    const auto parsed = parseRigctlServer("localhost" + server.address().substr(server.address().rfind(':')));
    ASSERT_TRUE(parsed) << parsed.error();
    for (int i = 0; i < 2000; ++i) {
        RigctlLink link(*parsed);
        const velkor::Status opened = link.open(RigctlClock::now() + std::chrono::microseconds(i % 400 * 5));
        EXPECT_TRUE(opened || !opened.error().empty());
    }
    RigctlLink link(*parsed);
    EXPECT_TRUE(link.open(RigctlClock::now() + std::chrono::milliseconds(kTimeoutMs))) << "after the lookups given up";
}

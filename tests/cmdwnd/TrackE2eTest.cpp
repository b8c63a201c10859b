// The whole tracking path without the dialog: generated control-channel audio through
// the decoders into the command window, a Uniden driver on the simulated scanner, and
// the exact commands the scanner receives.
#include "TestOwner.h"
#include "bank/DecoderBank.h"
#include "cmdwnd/CCmdWnd.h"
#include "fixtures/RigctlServers.h"
#include "fixtures/ScannerSimulator.h"
#include "fixtures/ScratchFixture.h"
#include "signal/DemoScenario.h"
#include "signal/MotorolaGen.h"
#include "signal/Nmt450Gen.h"
#include "signal/Nrz.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace velkor;

namespace {

using Texts = std::vector<std::string>;
constexpr int kRate = 48000;

class TrackE2E : public WorkDirFixture {
protected:
    TrackE2E() { owner.settings.return_to_cc = true; }
    void TearDown() override
    {
        wnd.reset();
        WorkDirFixture::TearDown();
    }

    // velkor.ini maps COM1 to the simulator and holds the channel plans.
    void start(ScannerFamily family, uint32_t type, uint32_t memory, const std::string& systems)
    {
        sim = std::make_unique<ScannerSimulator>(family);
        testsignal::writeFile(path("velkor.ini"), "[serial]\ncom1=" + sim->devicePath() + "\n[systems]\n" + systems);
        wnd = std::make_unique<CCmdWnd>(owner, std::unique_ptr<MixerBackend>());
        ASSERT_EQ(wnd->CreateReceiver(type, 1, memory), 1);
        drain();
        sim->clearReceived();
    }

    // The dialog's decoder bank, fed capture-sized blocks; the command window handles
    // what the decoders post as the GUI thread would, between blocks.
    void play(const testsignal::Samples& samples)
    {
        DecoderBank bank(wnd.get(), kRate, nullptr);
        const auto pcm = testsignal::toPcm16(samples);
        const size_t block = DecoderBank::BlockSamples(kRate);
        for (size_t at = 0; at < pcm.size(); at += block) {
            bank.FeedBlock(pcm.data() + at, std::min(block, pcm.size() - at) * sizeof(int16_t));
            drain();
        }
        bank.Stop();
    }

    static void drain() { QCoreApplication::sendPostedEvents(); }

    // The log lines that are not decoder lines.
    Texts trackerLines() const
    {
        Texts out;
        for (const auto& l : owner.log.lines)
            if (l.rfind("     |", 0) == 0 || l.rfind("Couldn't", 0) == 0 || l.rfind("Initialized", 0) == 0)
                out.push_back(l);
        return out;
    }

    TestOwner owner;
    std::unique_ptr<ScannerSimulator> sim;
    std::unique_ptr<CCmdWnd> wnd;
};

testsignal::Samples ffskAudio(const testsignal::Bits& bits)
{
    testsignal::FfskOptions o;
    o.rate = kRate;
    o.leadSeconds = 0.01;
    o.tailSeconds = 0.2;
    auto samples = testsignal::ffsk(bits, o);
    testsignal::addNoise(samples, 20.0, 7);
    return samples;
}

TEST_F(TrackE2E, Mpt1327CallIsFollowedAndCleared)
{
    // The demo traffic: system codeword and MARK (control channel 1), a go-to-channel
    // for 1-200 calling 1-100 on channel 17, the clear-down back to channel 1.
    start(ScannerFamily::Uniden250, 1, 5, "sysBase_1=1690000\nsysStep_1=125\nsysOffset_1=1\n");
    sim->setFrequency(1690125); // the scanner sits on channel 1
    owner.addUnit({1, 1, 100}, "Dispatch", true);
    owner.addUnit({1, 1, 200}, "Car 7", false);
    owner.nameNode({1, 1, 0}, "Taxi");
    owner.nameNode({1, 0, 0}, "Site North");
    play(ffskAudio(mptgen::demoControlChannel().bits));

    EXPECT_EQ(sim->commands(),
              (Texts{
                  "SG",                  // system report: channel 1 learned
                  "TA C 005 Site North", // the system's name
                  "MD",
                  "PM005 01692000",
                  "LON",
                  "RM NFM", // channel 17 at 169.2 MHz
                  "TA C 005 Car 7 > Dispatch",
                  "TA B A Taxi",
                  "MD",
                  "PM005 01690000",
                  "LON",
                  "RM NFM", // back to channel 1
                  "TA C 005 Site North",
                  "TA B A Bank A tag",
              }));
    EXPECT_EQ(trackerLines(),
              (Texts{"Initialized Uniden 250/785 on serial port 1.", "     | Call duration:    0m  1s        |"}));
    EXPECT_EQ(owner.log.lines.size(), mptgen::kDemoLines + 3);
    EXPECT_EQ(owner.log.lines.front(), "Line-In muting unavailable: no mixer");
    EXPECT_EQ(wnd->tracker().callCounter(), 0u);
    EXPECT_FALSE(owner.endCallEnabled);
    EXPECT_TRUE(owner.told.alerts.empty());
}

TEST_F(TrackE2E, Nmt450AllocationIsFollowedAndCleared)
{
    // Channels 1 (calling) and 190 (traffic) are 21 and 10 in the plan's numbering.
    start(ScannerFamily::Uniden780, 0, 0, "sysBase_80000=4630000\nsysStep_80000=250\nsysOffset_80000=1\n");
    sim->setFrequency(4635000); // channel 21
    owner.addUnit({80000, 1, 234567}, "Boat", true);
    testsignal::Bits bits;
    for (const char* hex : {"201461eb00028000", "201c611234567000", "2015611234567190", "1906611234567666",
                            "1906611234567ddd", "201f61f000c00000"})
        nmtgen::append(bits, nmtgen::fromHex(hex));
    play(ffskAudio(bits));

    // Memory 0 tunes directly and writes no texts.
    EXPECT_EQ(sim->commands(), (Texts{"SG", "RF04632250", "RF04635000"}));
    EXPECT_EQ(trackerLines(),
              (Texts{"Initialized Uniden 245/780 on serial port 1.", "     | Call duration:    0m  1s        |"}));
    EXPECT_EQ(wnd->tracker().systemParams(80000)->control_channel, 21);
}

TEST_F(TrackE2E, MotorolaGrantIsClearedByTheSquelchQuery)
{
    start(ScannerFamily::Dynamic, 2, 0, "");
    owner.addUnit({961, 1, 100}, "Group 100", true);
    // A grant passes through the decoder's history and comes out when the next word
    // that is not idle has arrived.
    const auto words = motogen::systemAnnouncement(0x3C1, 0x2800 + 42) +
        std::vector<motogen::Word>{motogen::radio(2001), motogen::site(17), motogen::grant(100, 600), motogen::radio(1),
                                   motogen::idle()};
    play(testsignal::nrz(motogen::stream(words), testsignal::NrzOptions{}));
    ASSERT_EQ(wnd->tracker().callCounter(), 1u);
    EXPECT_TRUE(owner.endCallEnabled);

    // Four ticks of the call timer bring the counter to 5 and the squelch query.
    for (int i = 0; i < 4; ++i)
        wnd->OnTimer(CallTracker::kCallTimer);
    drain();

    // The system report asks for the frequency; channel 600 of the default plan is
    // 427.5 MHz, control channel 42 is 420.525 MHz.
    EXPECT_EQ(sim->commands(),
              (Texts{"GLG", "QSH,04275000,1250,NFM,0,0,0,0,0000000000000000,0,0", "GLG",
                     "QSH,04205250,1250,NFM,0,0,0,0,0000000000000000,0,0"}));
    EXPECT_EQ(wnd->tracker().callCounter(), 0u);
    EXPECT_FALSE(owner.endCallEnabled);
    EXPECT_EQ(trackerLines(),
              (Texts{"Initialized Uniden Experimental on serial port 1.", "     | Call duration:    0m  5s        |"}));
}

TEST_F(TrackE2E, CreateReceiverLogsItsOutcome)
{
    sim = std::make_unique<ScannerSimulator>(ScannerFamily::Uniden780);
    testsignal::writeFile(path("velkor.ini"),
                          "[serial]\ncom1=" + sim->devicePath() + "\ncom2=" + path("no-such-tty") + "\n");
    wnd = std::make_unique<CCmdWnd>(owner, std::unique_ptr<MixerBackend>());
    owner.log.lines.clear();
    const struct {
        uint32_t type, port, memory;
        int result;
        bool receiver;
        const char* line; // nullptr: no line
        std::string reason = {};
    } cases[] = {
        {0, 1, 0, 1, true, "Initialized Uniden 245/780 on serial port 1."},
        {7, 1, 3, 1, true, "Initialized Uniden 245/780 on serial port 1."},
        {0, 1, 501, 1, false, "Initialization of receiver failed!"}, // the 780 has 500 channels
        {1, 2, 0, 0, false, "ERROR initializing receiver on serial port 2: Error opening serial port!",
         "Reason: Cannot open " + path("no-such-tty") + ": No such file or directory"},
        {2, 1, 0, 1, true, "Initialized Uniden Experimental on serial port 1."},
        {0, 0, 0, 1, false, nullptr}, // no port: the receiver goes, nothing is logged
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "none");
        owner.log.lines.clear();
        // Each case replaces the receiver of the case before.
        EXPECT_EQ(wnd->CreateReceiver(c.type, c.port, c.memory), c.result);
        EXPECT_EQ(wnd->tracker().receiver() != nullptr, c.receiver);
        EXPECT_TRUE(owner.log.lines.empty()); // posted, not appended
        drain();
        Texts expected = c.line ? Texts{c.line} : Texts{};
        if (!c.reason.empty())
            expected.push_back(c.reason);
        EXPECT_EQ(owner.log.all(), expected);
    }
}

// Type 3 is at a server: no port, and its lines name the server.
TEST_F(TrackE2E, CreateReceiverLogsTheServersOutcome)
{
    rigtest::Rigctld rigctld;
    ASSERT_TRUE(rigctld.ready()) << rigctld.error();
    const std::string down = "127.0.0.1:" + std::to_string(rigtest::freePort());
    wnd = std::make_unique<CCmdWnd>(owner, std::unique_ptr<MixerBackend>());
    const struct {
        uint32_t port;
        std::string server;
        int result;
        bool receiver;
        std::string line; // "": no line
    } cases[] = {
        {0, rigctld.address(), 1, true, "Initialized Hamlib rigctl on server " + rigctld.address() + "."},
        {3, "", 1, false, ""}, // no server: none, whatever the port
        // Not up yet: kept, and tried again at every operation.
        {0, down, 1, true,
         "ERROR initializing receiver on server " + down +
             ": Connection refused; trying again at every receiver operation."},
        {0, "nohost", 0, false,
         "ERROR initializing receiver on server nohost: Invalid server address! (\"nohost\" has no port: write "
         "HOST:PORT, for example localhost:4532)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        owner.log.lines.clear();
        EXPECT_EQ(wnd->CreateReceiver(3, c.port, 0, c.server), c.result);
        EXPECT_EQ(wnd->tracker().receiver() != nullptr, c.receiver);
        drain();
        EXPECT_EQ(owner.log.all(), c.line.empty() ? Texts{} : Texts{c.line});
    }
}

} // namespace

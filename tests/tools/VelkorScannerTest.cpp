// velkor-scanner as a user runs it, against the simulated scanner.
#include "fixtures/RigctlServers.h"
#include "fixtures/ScannerSimulator.h"
#include "receiver/SerialPort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velkor;

namespace {

struct ToolRun {
    int status = -1;
    std::string output; // standard output and standard error together
};

ToolRun run(const std::string& args, const std::string& cwd = {}, unsigned timeoutMs = 40)
{
    // Through the shell, which splits the words as a user's shell does.
    const std::string cmd =
        std::string(VELKOR_SCANNER_PATH) + " --timeout " + std::to_string(timeoutMs) + " " + args + " 2>&1";
    const auto r = testsignal::runTool("/bin/sh", {"-c", cmd}, {}, cwd);
    return {r.status, r.out};
}

bool contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

using Commands = std::vector<std::string>;

TEST(VelkorScanner, TunesThroughAMemoryChannelAndGivesTheBankTagBack)
{
    ScannerSimulator sim(ScannerFamily::Uniden780);
    sim.setMode(2);
    sim.setBankTag('B', "Mine");
    const ToolRun r = run("--type 0 --device " + sim.devicePath() + " --memory 51 tune 420.0125 --narrow");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Initialized Uniden 245/780 on " + sim.devicePath() + "."));
    EXPECT_TRUE(contains(r.output, "OK\n"));
    EXPECT_EQ(
        sim.commands(),
        (Commands{"IDF", "CDF", "QUF", "TA B B", "MD", "KEY01", "PM051 04200125", "LON", "RM NFM", "TA B B Mine"}));
}

TEST(VelkorScanner, PrintsFrequencyAndSquelch)
{
    ScannerSimulator sim(ScannerFamily::Uniden250);
    sim.setFrequency(4200125);
    sim.setSquelchOpen(true);
    ToolRun r = run("--type 1 --device " + sim.devicePath() + " freq");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output, "\n420.0125\n")) << r.output;
    r = run("--type 1 --device " + sim.devicePath() + " squelch");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.output, "\nopen\n")) << r.output;
}

TEST(VelkorScanner, ReceiverTypesBuildTheirDrivers)
{
    const struct {
        const char* type;
        ScannerFamily family;
        const char* name;
        int initStatus; // with memory 600: only the 250 has that many channels
    } cases[] = {
        {"0", ScannerFamily::Uniden780, "Uniden 245/780", 1},
        {"1", ScannerFamily::Uniden250, "Uniden 250/785", 0},
        {"2", ScannerFamily::Dynamic, "Uniden Experimental", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ScannerSimulator sim(c.family);
        const ToolRun r = run(std::string("--type ") + c.type + " --device " + sim.devicePath() + " --memory 600 init");
        EXPECT_EQ(r.status, c.initStatus) << r.output;
        if (c.initStatus)
            EXPECT_TRUE(contains(r.output, "Initialization of receiver failed!"));
        else
            EXPECT_TRUE(contains(r.output, std::string("Initialized ") + c.name));
    }
}

TEST(VelkorScanner, RefusalsAndSilenceExitOne)
{
    ScannerSimulator sim(ScannerFamily::Dynamic);
    sim.overrideReply("QSH", "QSH,NG");
    ToolRun r = run("--type 2 --device " + sim.devicePath() + " tune 162.55");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "FAILED"));
    sim.setBehaviour(ScannerBehaviour::Silent);
    r = run("--type 2 --device " + sim.devicePath() + " freq");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "FAILED"));
    r = run("--type 2 --device " + sim.devicePath() + " backlight 1");
    EXPECT_EQ(r.status, 1);
    // Initialising asks nothing of this type; init then asks for the frequency.
    r = run("--type 2 --device " + sim.devicePath() + " init");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(contains(r.output, "FAILED")) << r.output;
}

TEST(VelkorScanner, Text2WithoutTextPutsTheBankTagBack)
{
    ScannerSimulator sim(ScannerFamily::Uniden780);
    sim.setBankTag('A', "Mine");
    ToolRun r = run("--device " + sim.devicePath() + " --memory 3 text2");
    EXPECT_EQ(r.status, 0) << r.output;
    r = run("--device " + sim.devicePath() + " --memory 3 text 'Fleet 12'");
    EXPECT_EQ(r.status, 0) << r.output;
    const Commands commands = sim.commands();
    EXPECT_EQ(commands[4], "TA B A Mine");
    EXPECT_EQ(commands[5], "TA B A Mine"); // the destructor's restore
    EXPECT_EQ(commands[10], "TA C 003 Fleet 12");
    r = run("--device " + sim.devicePath() + " text x");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "--memory"));
}

TEST(VelkorScanner, PortNumbersComeFromVelkorIni)
{
    ScannerSimulator sim(ScannerFamily::Uniden780);
    const testsignal::TempDir tmp;
    testsignal::writeFile(tmp.file("velkor.ini"), "[serial]\ncom3=" + sim.devicePath() + "\n");
    const ToolRun r = run("--port 3 scan", tmp.path());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Initialized Uniden 245/780 on serial port 3."));
}

TEST(VelkorScanner, UsageAndPortErrorsExitTwo)
{
    const char* usage[] = {"--device /dev/null",
                           "--port 1 --device /dev/null init",
                           "init",
                           "--device /dev/null tune",
                           "--device /dev/null tune abc",
                           "--device /dev/null backlight 3",
                           "--device /dev/null --memory -1 init",
                           "--device /dev/null frobnicate",
                           "--type 7 --device /dev/null init",
                           "--device /dev/null --timeout abc init"};
    for (const char* args : usage) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.output;
    }
    for (const char* args : {"--port 0 init", "--port -3 init", "--port 123456789 init",
                             "--device /dev/velkor-none init", "--device /dev/null init"}) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(contains(r.output, "Error opening serial port!")) << args << "\n" << r.output;
    }
    EXPECT_TRUE(contains(run("--port 0 init").output, "names no serial device"));
    EXPECT_TRUE(contains(run("--type 7 --device /dev/null init").output, "--type: 7 is not a receiver type"));
    EXPECT_TRUE(contains(run("--device /dev/null tune abc").output, "'abc' is not a number"));
}

TEST(VelkorScanner, ChecksAHamlibRigctlServer)
{
    rigtest::Rigctld rigctld;
    ASSERT_TRUE(rigctld.ready()) << rigctld.error();
    const std::string server = " --type 3 --server " + rigctld.address();
    ToolRun r = run(server + " tune 420.0125", {}, 3000);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Initialized Hamlib rigctl on server " + rigctld.address() + ".\n")) << r.output;
    EXPECT_TRUE(contains(r.output, "OK\n"));
    EXPECT_EQ(rigctld.frequencyHz(), 420012500);

    ASSERT_EQ(rigctld.rigctl("F 162550000"), "");
    r = run(server + " freq", {}, 3000);
    EXPECT_TRUE(contains(r.output, "\n162.5500\n")) << r.output;
    // Nothing to show texts on, but nothing refused either.
    EXPECT_EQ(run(server + " text Dispatch", {}, 3000).status, 0);

    // The server from velkor.ini when none is given.
    const testsignal::TempDir tmp;
    testsignal::writeFile(tmp.file("velkor.ini"), "[rigctl]\nserver=" + rigctld.address() + "\n");
    r = run("--type 3 init", tmp.path(), 3000);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "on server " + rigctld.address()));
}

TEST(VelkorScanner, ServerErrorsSayWhy)
{
    const std::string down = "127.0.0.1:" + std::to_string(rigtest::freePort());
    const struct {
        std::string args;
        int status;
        std::string says;
    } cases[] = {
        {"--type 3 --server " + down + " tune 420", 1,
         "ERROR initializing receiver on server " + down + ": Connection refused"},
        {"--type 3 --server nohost freq", 2, "Invalid server address! (\"nohost\" has no port"},
        {"--type 3 --port 1 freq", 2, "takes --server, not a port"},
        {"--type 1 --server " + down + " freq", 2, "only for a network receiver type"},
    };
    for (const auto& c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, c.says)) << c.args << "\n" << r.output;
    }
}

TEST(VelkorScanner, BusyPortIsAPortError)
{
    ScannerSimulator sim(ScannerFamily::Uniden780);
    SerialPort holder;
    ASSERT_EQ(holder.open(sim.devicePath(), 19200, 8, 0, 2).error(), "");
    const ToolRun r = run("--device " + sim.devicePath() + " init");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.output, "Error opening serial port!"));
    EXPECT_TRUE(contains(r.output, "In use by another program")) << r.output;
}

} // namespace

// Faulty scanners: one that never answers, one that answers only "ERR", one that sends
// endless bytes without a carriage return, and one whose line goes away in the middle
// of an operation. Every operation of every driver must come back within its bound
// (a fixed number of reply time-outs), report failure, and leave no descriptor behind.
//
// The time-out is short here so that the test costs little; VELKOR_HANG_TIMEOUT_MS
// runs it with another one (500 is the drivers' own) to measure the real bound.
#include "DriverFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Fault {
    const char* name;
    std::optional<ScannerBehaviour> behaviour; // none: the line closes mid-exchange
};
const Fault kFaults[] = {{"silent", ScannerBehaviour::Silent},
                         {"ERR only", ScannerBehaviour::Err},
                         {"garbage without CR", ScannerBehaviour::Babble},
                         {"line closed mid-exchange", std::nullopt}};

struct DriverCase {
    const char* name;
    ScannerFamily family;
    uint32_t memory;
};

struct Operation {
    const char* name;
    // Where the line goes away: a command in the middle of the operation where it has
    // several (of any command set), else the first.
    std::vector<std::string> hangUpAt;
    std::function<void(CReceiverCtrl&)> run;
};

unsigned timeoutMs()
{
    const char* env = std::getenv("VELKOR_HANG_TIMEOUT_MS");
    // Short: a late answer from a faulty scanner fails the operation all the same.
    return env && std::atoi(env) > 0 ? static_cast<unsigned>(std::atoi(env)) : 60;
}

size_t openDescriptors()
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

std::unique_ptr<CReceiverCtrl> makeDriver(const DriverCase& d, const std::string& device, unsigned timeout)
{
    if (d.family != ScannerFamily::Dynamic)
        return makeUniden(d.family, device, d.memory, timeout);
    return std::make_unique<CUnidenDynamic>(device, 19200, 8, 0, 2, timeout);
}

const std::vector<Operation>& operations()
{
    static const std::vector<Operation> ops = {
        {"initialize", {"TA"}, [](CReceiverCtrl& r) { r.initialize(); }},
        {"setFrequency", {"PM", "RF", "QSH"}, [](CReceiverCtrl& r) { EXPECT_EQ(r.setFrequency(420.0125, 1), 0); }},
        {"getFrequency", {""}, [](CReceiverCtrl& r) { EXPECT_EQ(r.getFrequency(), 0.0); }},
        {"setText", {""}, [](CReceiverCtrl& r) { EXPECT_EQ(r.setText("Fleet 1"), 0); }},
        {"setText2", {""}, [](CReceiverCtrl& r) { EXPECT_EQ(r.setText2("Unit 7"), 0); }},
        {"setText2(restore)", {""}, [](CReceiverCtrl& r) { EXPECT_EQ(r.setText2(nullptr), 0); }},
        {"startScan", {"KEY"}, [](CReceiverCtrl& r) { EXPECT_EQ(r.startScan(), 0); }},
        {"isSquelchOpen", {""}, [](CReceiverCtrl& r) { EXPECT_EQ(r.isSquelchOpen(), 0); }},
        {"setBacklight", {"BKL", "LT"}, [](CReceiverCtrl& r) { EXPECT_EQ(r.setBacklight(1), 0); }},
    };
    return ops;
}

} // namespace

class HangSafety : public ::testing::TestWithParam<DriverCase> { };

TEST_P(HangSafety, EveryOperationReturnsWithinItsBoundAndFails)
{
    const DriverCase& d = GetParam();
    const unsigned timeout = timeoutMs();
    // The longest operation sends seven commands (mode, three keys, program, lock-out,
    // modulation); each reply may cost a time-out, and a babbling line a few more.
    const long bound = 30L * timeout + 1000;
    const size_t descriptors = openDescriptors();

    for (const Fault& fault : kFaults) {
        long longest = 0;
        std::string longestName;
        for (const Operation& op : operations()) {
            ScannerSimulator sim(d.family);
            if (fault.behaviour)
                sim.setBehaviour(*fault.behaviour);
            else
                sim.hangUpAt(op.hangUpAt);
            // The scanner answers the wake-up of the constructor normally (a hang-up
            // waits for its command), so the fault meets the operation itself; the
            // constructor and the destructor are timed with it.
            const long ms = elapsedMs([&] {
                auto driver = makeDriver(d, sim.devicePath(), timeout);
                op.run(*driver);
            });
            SCOPED_TRACE(std::string(d.name) + ", " + fault.name + ", " + op.name);
            EXPECT_LT(ms, bound);
            if (ms > longest) {
                longest = ms;
                longestName = op.name;
            }
        }
        std::printf("%-12s %-26s longest %-18s %5ld ms (%.1f time-outs of %u ms)\n", d.name, fault.name,
                    longestName.c_str(), longest, static_cast<double>(longest) / timeout, timeout);
    }
    EXPECT_EQ(openDescriptors(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(Drivers, HangSafety,
                         ::testing::Values(DriverCase{"BC250D", ScannerFamily::Uniden250, 0},
                                           DriverCase{"BC250D-mem", ScannerFamily::Uniden250, 250},
                                           DriverCase{"BC780XLT-mem", ScannerFamily::Uniden780, 120},
                                           DriverCase{"Dynamic", ScannerFamily::Dynamic, 0}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });
